// Shows a 486 x 412 wizard with the main window's four pages and saves a picture of each page
// as grabbed from the screen: page1.png .. page4.png in the directory given as argument.
#include "wizard/KWizard.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QTest>

namespace {

QFont ArialFont(int pixelSize, bool bold = false)
{
    QFont font("Arial");
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void SetHeader(TKWizardCustomPage* page, const QString& title, const QString& subtitle)
{
    page->Header()->Title()->SetText(title);
    page->Header()->Title()->SetFont(ArialFont(16, true));
    page->Header()->Subtitle()->SetText(subtitle);
    page->Header()->Subtitle()->SetFont(ArialFont(11));
}

QLabel* BigLabel(QWidget* parent, const QString& text, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->setFont(ArialFont(19, true));
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QDir().mkpath(outDir);

    QWidget form;
    form.setWindowTitle("Orvalen V1.4");
    form.setFont(ArialFont(11));
    form.resize(486, 412);
    auto* wizard = new TKWizard(&form);

    auto* titulo = new TKWizardWelcomePage(&form);
    SetHeader(titulo, "Programa para Orvalen", "Impresoras Fiscales QDX.");
    titulo->SetCaption("Siga los siguientes pasos");
    titulo->SetWizard(wizard);

    auto* puerto = new TKWizardInteriorPage(&form);
    SetHeader(puerto, "Determinando Puerto ",
              "Se evaluaran todos los puertos hasta que se obtenga respuesta de un impresor");
    BigLabel(puerto, "Puerto: ", 48, 160);
    BigLabel(puerto, "COM3", 144, 160);
    BigLabel(puerto, "Serial:", 48, 208);
    BigLabel(puerto, "QDX0001234", 128, 208);
    puerto->SetWizard(wizard);

    auto* verificacion = new TKWizardInteriorPage(&form);
    SetHeader(verificacion, "Generando Reporte Z",
              "Verifique que se genero correctamente el reporte Z y presione el boton siguiente "
              "para proceder al cambio de horario");
    verificacion->SetWizard(wizard);

    auto* fiscalizacion = new TKWizardInteriorPage(&form);
    SetHeader(
        fiscalizacion, "Cambio de Horario",
        QString::fromUtf8("Seleccione el botón de Procesar y espere que se compruebe el "
                          "impresor. Pruebe despues de ejecutado si el cambio fue realizado."));
    fiscalizacion->OnEnterPage = [wizard](QObject*) { wizard->ButtonFinish()->SetVisible(true); };
    fiscalizacion->SetWizard(wizard);

    wizard->ButtonStart()->SetCaption("&Inciniciar");
    wizard->ButtonLast()->SetCaption("&Fiscalizar");
    wizard->ButtonBack()->SetCaption("< &Anterior");
    wizard->ButtonNext()->SetCaption("&Siguiente >");
    wizard->ButtonFinish()->SetCaption("&Proceder");
    wizard->ButtonFinish()->SetVisible(false);
    wizard->ButtonCancel()->SetCaption("Salir");
    wizard->Loaded();

    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    int index = 1;
    for (TKWizardCustomPage* page : wizard->Pages()) {
        wizard->SetActivePage(page);
        // The page painted and through to the X server before grabbing it.
        form.repaint();
        QGuiApplication::sync();
        const QPixmap shot = form.screen()->grabWindow(form.winId());
        const QString path = QDir(outDir).filePath(QString("page%1.png").arg(index++));
        if (!shot.save(path))
            return 2;
        qInfo("%s %dx%d", qPrintable(path), shot.width(), shot.height());
    }
    return 0;
}
