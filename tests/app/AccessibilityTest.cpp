#include "app/Form1.h"
#include "app/ReplyBox.h"
#include "app/Startup.h"
#include "wizard/KWizard.h"
#include "wizard/KWizardDecoration.h"
#include "wizard/KWizardPage.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QFile>
#include <QGroupBox>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

QString Accessible(QObject* object, QAccessible::Text what = QAccessible::Name)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(what) : QStringLiteral("<no interface>");
}

} // namespace

// What a screen reader hears for each control: edit boxes by what they hold, not the title of
// the group around them; every button, box and group something of its own.
TEST(Accessibility, EveryControlHasItsOwnName)
{
    TForm1 form;
    const QList<std::pair<QWidget*, const char*>> edits = {
        {form.edlinea, "Texto de la línea"},
        {form.iva1, "Tasa 1"},
        {form.iva2, "Tasa 2"},
        {form.iva3, "Tasa 3"},
        {form.edhora, "Hora"},
        {form.edfecha, "Fecha"},
        {form.respuesta, "Respuesta de la impresora"}};
    for (const auto& [edit, name] : edits)
        EXPECT_EQ(Accessible(edit), QString::fromUtf8(name)) << edit->objectName().toStdString();

    QStringList editNames;
    for (QLineEdit* edit : form.findChildren<QLineEdit*>())
        editNames.append(Accessible(edit));
    for (const QString& name : editNames) {
        EXPECT_FALSE(name.trimmed().isEmpty());
        EXPECT_EQ(editNames.count(name), 1) << name.toStdString();
    }
    for (QWidget* control : form.findChildren<QAbstractButton*>())
        EXPECT_FALSE(Accessible(control).trimmed().isEmpty())
            << control->objectName().toStdString();
    EXPECT_EQ(Accessible(form.Pruebas), QStringLiteral("Pruebas"));
    EXPECT_EQ(Accessible(form.AbreNF, QAccessible::Description),
              QStringLiteral("Abre un documento no fiscal"));
    // The described texts themselves stay.
    EXPECT_EQ(form.Pruebas->title(), QStringLiteral(" Pruebas "));
}

TEST(Accessibility, PagesReadTheirPaintedTitleAndInstructions)
{
    TForm1 form;
    ASSERT_EQ(form.wizard->Pages().size(), 4);
    for (TKWizardCustomPage* page : form.wizard->Pages()) {
        const TKWizardPageHeader* header = page->Header();
        EXPECT_EQ(Accessible(page), header->Title()->Text().trimmed());
        EXPECT_EQ(Accessible(page, QAccessible::Description), header->Subtitle()->Text().trimmed());
    }
    EXPECT_EQ(Accessible(form.pgPuerto), QStringLiteral("Determinando Puerto"));
    EXPECT_TRUE(Accessible(form.PgVerificacion, QAccessible::Description)
                    .startsWith(QStringLiteral("Verifique que se genero")));
}

TEST(Accessibility, QtsOwnTextsAreSpanishWhenItsTranslationsAreInstalled)
{
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                       QStringLiteral("/qtbase_es.qm")))
        GTEST_SKIP() << "Qt's Spanish translations are not installed (qt6-translations-l10n)";
    InitApplication();
    InitApplication(); // a second start loads them once
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&'), QStringLiteral("Cancelar"));
}
