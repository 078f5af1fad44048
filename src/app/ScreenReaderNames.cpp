#include "app/ScreenReaderNames.h"

#include "app/Form1.h"
#include "app/ReplyBox.h"
#include "wizard/KWizard.h"
#include "wizard/KWizardDecoration.h"
#include "wizard/KWizardPage.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

void NameForScreenReaders(TForm1& form)
{
    const struct
    {
        QWidget* control;
        const char* name;
    } edits[] = {
        {form.edlinea, "Texto de la línea"},
        {form.iva1, "Tasa 1"},
        {form.iva2, "Tasa 2"},
        {form.iva3, "Tasa 3"},
        {form.edhora, "Hora"},
        {form.edfecha, "Fecha"},
        {form.resp2, "Comunicación"}, // the label above it
        {form.respuesta, "Respuesta de la impresora"},
    };
    for (const auto& edit : edits)
        edit.control->setAccessibleName(QString::fromUtf8(edit.name));

    const struct
    {
        QPushButton* button;
        const char* description;
    } buttons[] = {
        {form.AbreNF, "Abre un documento no fiscal"},
        {form.LineaNF, "Imprime el texto de la línea en el documento no fiscal"},
        {form.CierraNF, "Cierra el documento no fiscal"},
        {form.cambiatasa, "Envía las tres tasas a la impresora"},
        {form.Button1, "Imprime una factura de prueba"},
    };
    for (const auto& button : buttons)
        button.button->setAccessibleDescription(QString::fromUtf8(button.description));

    // The group titles carry padding spaces (" Pruebas ") for the painted frame.
    for (QGroupBox* group : {form.reiniciar, form.Pruebas})
        group->setAccessibleName(group->title().trimmed());

    for (TKWizardCustomPage* page : form.wizard->Pages()) {
        const TKWizardPageHeader* header = page->Header();
        page->setAccessibleName(header->Title()->Text().trimmed());
        page->setAccessibleDescription(header->Subtitle()->Text().trimmed());
    }
}
