#include "app/Form1.h"
#include "app/ReplyBox.h"
#include "printer/LinkState.h"
#include "runtime/Application.h"
#include "runtime/Format.h"
#include "runtime/TimeBase.h"
#include "serial/VaComm.h"
#include "wizard/KWizard.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString TextOf(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* button = qobject_cast<QPushButton*>(w))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(w))
        return group->title();
    return QString();
}

} // namespace

TEST(WindowTest, PortIsStoredClosedWithTheLineSettings)
{
    TForm1 form;
    TVaComm* port = form.puerto;
    EXPECT_FALSE(port->Active());
    EXPECT_EQ(port->Baudrate(), br9600);
    EXPECT_EQ(port->PortNum(), 2);
    EXPECT_EQ(port->DeviceName(), QByteArray("\\\\.\\COM%d"));
    EXPECT_EQ(port->DeviceName().size(), 9);
    EXPECT_EQ(port->MonitorEvents(), (TVaCommEvents{ceError, ceRxChar}));
    EXPECT_TRUE(port->DirectWrite());
    TVaFlowControl* flow = port->FlowControl();
    EXPECT_FALSE(flow->OutCtsFlow() || flow->OutDsrFlow() || flow->XonXoffOut() ||
                 flow->XonXoffIn() || flow->DsrSensitivity() || flow->TxContinueOnXoff());
    EXPECT_EQ(flow->ControlDtr(), dtrDisabled);
    EXPECT_EQ(flow->ControlRts(), rtsDisabled);
}

TEST(WindowTest, TimersAndGroupsAtStart)
{
    TForm1 form;
    EXPECT_FALSE(form.Timer1->Enabled());
    EXPECT_EQ(form.Timer1->Interval(), 1000);
    EXPECT_TRUE(form.Timer2->Enabled());
    EXPECT_EQ(form.Timer2->Interval(), 1000);
    EXPECT_FALSE(form.reiniciar->isEnabled());
    EXPECT_FALSE(form.Pruebas->isEnabled());
}

// Every control of the two pages: parent, place, size, text at start and font.
TEST(WindowTest, ControlsAsStored)
{
    TForm1 form;
    struct Case
    {
        QWidget* control;
        QWidget* parent;
        QRect geometry;
        const char* text;
        int fontPx;
        bool bold;
    };
    const char* const latin1Comunicacion = "Comunicaci\xF3n";
    const Case cases[] = {
        {form.Label15, form.pgPuerto, {48, 160, 74, 22}, "Puerto: ", 19, true},
        {form.lbport, form.pgPuerto, {144, 160, 5, 22}, "", 19, true},
        {form.Label16, form.pgPuerto, {48, 208, 60, 22}, "Serial:", 19, true},
        {form.lbserial, form.pgPuerto, {128, 208, 5, 22}, "", 19, true},
        {form.Label10, form.PgFiscalizacion, {8, 280, 67, 14}, latin1Comunicacion, 11, false},
        {form.Label1, form.PgFiscalizacion, {112, 264, 88, 14}, "Fecha a Generar: ", 11, false},
        {form.fecha, form.PgFiscalizacion, {208, 264, 30, 14}, "Fecha", 11, false},
        {form.reiniciar, form.PgFiscalizacion, {8, 88, 145, 129}, " Reiniciar ", 11, false},
        {form.reset, form.reiniciar, {7, 55, 129, 33}, "Reiniciar Impresor", 11, false},
        {form.Pruebas, form.PgFiscalizacion, {158, 80, 329, 169}, " Pruebas ", 11, false},
        {form.Label11, form.Pruebas, {8, 104, 35, 14}, "TASAS", 11, false},
        {form.btrepz, form.Pruebas, {8, 24, 73, 25}, "Reporte Z", 11, false},
        {form.AbreNF, form.Pruebas, {88, 24, 73, 25}, "AbreNF", 11, false},
        {form.LineaNF, form.Pruebas, {248, 24, 73, 25}, "LineaNF", 11, false},
        {form.edlinea, form.Pruebas, {8, 64, 313, 22}, "linea de prueba", 11, false},
        {form.CierraNF, form.Pruebas, {168, 24, 73, 25}, "CierraNF", 11, false},
        {form.iva1, form.Pruebas, {56, 99, 41, 22}, "0700", 11, false},
        {form.iva2, form.Pruebas, {104, 99, 41, 22}, "1000", 11, false},
        {form.iva3, form.Pruebas, {152, 99, 41, 22}, "1500", 11, false},
        {form.cambiatasa, form.Pruebas, {198, 96, 75, 25}, "Cambia tasa", 11, false},
        {form.Button1, form.Pruebas, {12, 132, 101, 29}, "Factura Prueba", 11, false},
        {form.edhora, form.Pruebas, {122, 134, 47, 22}, "1900", 11, false},
        {form.edfecha, form.Pruebas, {178, 134, 47, 22}, "1900", 11, false},
        {form.resp2, form.PgFiscalizacion, {8, 295, 473, 22}, "", 11, false},
        {form.respuesta, form.PgFiscalizacion, {8, 321, 473, 22}, "", 11, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.control->parentWidget(), c.parent);
        EXPECT_EQ(c.control->pos(), c.geometry.topLeft());
        EXPECT_EQ(c.control->height(), c.geometry.height());
        // Labels may grow by the odd pixel that this system's font needs; nothing else changes.
        if (qobject_cast<QLabel*>(c.control)) {
            EXPECT_GE(c.control->width(), c.geometry.width());
            EXPECT_LE(c.control->width(),
                      std::max(c.geometry.width(), c.control->sizeHint().width()));
            EXPECT_GE(c.control->width(), c.control->sizeHint().width());
        } else {
            EXPECT_EQ(c.control->width(), c.geometry.width());
        }
        EXPECT_EQ(TextOf(c.control), QString::fromLatin1(c.text));
        EXPECT_EQ(c.control->font().family(), QStringLiteral("Arial"));
        EXPECT_EQ(c.control->font().pixelSize(), c.fontPx);
        EXPECT_EQ(c.control->font().bold(), c.bold);
    }
}

TEST(WindowTest, WindowWizardAndPagesAsStored)
{
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Orvalen V1.4"));
    EXPECT_EQ(form.size(), QSize(486, 412));
    EXPECT_EQ(form.font().pixelSize(), 11);
    EXPECT_EQ(form.wizard->parentWidget(), &form);
    EXPECT_EQ(form.wizard->geometry(), QRect(0, 0, 486, 412));
    EXPECT_FALSE(form.wizard->ShowRouteMap());

    struct PageCase
    {
        TKWizardCustomPage* page;
        bool welcome;
        const char* title;
        const char* subtitle;
    };
    const PageCase pages[] = {
        {form.Titulo, true, "Programa para Orvalen", "Impresoras Fiscales QDX."},
        {form.pgPuerto, false, "Determinando Puerto ",
         "Se evaluaran todos los puertos hasta que se obtenga respuesta de un impresor"},
        {form.PgVerificacion, false, "Generando Reporte Z",
         "Verifique que se genero correctamente el reporte Z y presione el boton siguiente para "
         "proceder al cambio de horario"},
        {form.PgFiscalizacion, false, "Cambio de Horario",
         "Seleccione el bot\xF3n de Procesar y espere que se compruebe el impresor. Pruebe "
         "despues de ejecutado si el cambio fue realizado."},
    };
    ASSERT_EQ(form.wizard->Pages().size(), 4);
    for (int i = 0; i < 4; ++i) {
        const PageCase& c = pages[i];
        SCOPED_TRACE(c.title);
        EXPECT_EQ(form.wizard->Pages()[i], c.page);
        EXPECT_EQ(c.page->parentWidget(), form.wizard);
        EXPECT_EQ(dynamic_cast<TKWizardWelcomePage*>(c.page) != nullptr, c.welcome);
        EXPECT_EQ(dynamic_cast<TKWizardInteriorPage*>(c.page) != nullptr, !c.welcome);
        EXPECT_EQ(c.page->Color(), c.welcome ? TColor(clWindow) : TColor(clBtnFace));
        TKWizardPageHeader* header = c.page->Header();
        EXPECT_EQ(header->Height(), 70);
        EXPECT_EQ(header->Color(), TColor(clWindow));
        EXPECT_TRUE(header->ParentFont());
        EXPECT_EQ(header->ImageIndex(), -1);
        EXPECT_EQ(header->ImageAlign(), waRight);
        EXPECT_EQ(header->Title()->Text(), QString::fromLatin1(c.title));
        EXPECT_EQ(header->Subtitle()->Text(), QString::fromLatin1(c.subtitle));
        EXPECT_EQ(header->Title()->Anchors(), akLeft | akTop | akRight);
        EXPECT_EQ(header->Subtitle()->Anchors(), akLeft | akTop | akRight | akBottom);
        for (TKWizardPageTitle* t : {header->Title(), header->Subtitle()}) {
            EXPECT_EQ(t->AnchorPlacement(), 4);
            EXPECT_EQ(t->Indent(), 0);
            EXPECT_EQ(t->Alignment(), taLeftJustify);
            EXPECT_EQ(t->Font().family(), QStringLiteral("Arial"));
        }
        EXPECT_EQ(header->Title()->Font().pixelSize(), 16);
        EXPECT_TRUE(header->Title()->Font().bold());
        EXPECT_EQ(header->Subtitle()->Font().pixelSize(), 11);
        EXPECT_FALSE(header->Subtitle()->Font().bold());
        EXPECT_FALSE(c.page->Panel()->Visible());
    }
    EXPECT_EQ(form.Titulo->Caption(), QStringLiteral("Siga los siguientes pasos"));
    TKWizardWaterMark* mark = form.Titulo->WaterMark();
    EXPECT_EQ(mark->Align(), waLeft);
    EXPECT_EQ(mark->Width(), 164);
    EXPECT_EQ(mark->BorderWidth(), 1);
    EXPECT_EQ(mark->Color(), TColor(clActiveCaption));
    EXPECT_TRUE(mark->Visible());
    // The stored active page.
    EXPECT_EQ(form.wizard->ActivePage(), form.Titulo);
}

TEST(WindowTest, WizardButtonsAsStoredAndLaidOutAtLoad)
{
    TForm1 form;
    struct Case
    {
        TKWizardButton* button;
        const char* caption;
        bool visible;
    };
    const Case cases[] = {
        {form.wizard->ButtonStart(), "&Inciniciar", false},
        {form.wizard->ButtonLast(), "&Fiscalizar", false},
        {form.wizard->ButtonBack(), "< &Anterior", true},
        {form.wizard->ButtonNext(), "&Siguiente >", true},
        {form.wizard->ButtonFinish(), "&Proceder", false},
        {form.wizard->ButtonCancel(), "Salir", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(c.button->Caption(), QString::fromLatin1(c.caption));
        EXPECT_EQ(c.button->Visible(), c.visible);
        EXPECT_EQ(c.button->NumGlyphs(), 1);
        EXPECT_EQ(c.button->Layout(), blGlyphLeft);
    }
    form.wizard->Loaded();
    EXPECT_EQ(form.wizard->ActivePage(), form.Titulo);
    EXPECT_FALSE(form.wizard->ButtonBack()->Enabled());
    EXPECT_EQ(form.wizard->ButtonControl(bkBack)->geometry(), QRect(240, 379, 75, 25));
    EXPECT_EQ(form.wizard->ButtonControl(bkNext)->geometry(), QRect(316, 379, 75, 25));
    EXPECT_EQ(form.wizard->ButtonControl(bkCancel)->geometry(), QRect(402, 379, 75, 25));
    EXPECT_TRUE(form.wizard->ButtonControl(bkFinish)->isHidden());
}

TEST(WindowTest, TabOrderOfTheLastPage)
{
    TForm1 form;
    const QList<QWidget*> expected = {form.reset,   form.btrepz,     form.AbreNF,   form.LineaNF,
                                      form.edlinea, form.CierraNF,   form.iva1,     form.iva2,
                                      form.iva3,    form.cambiatasa, form.Button1,  form.edhora,
                                      form.edfecha, form.resp2,      form.respuesta};
    QList<QWidget*> chain;
    for (QWidget* w = form.reset; chain.size() < expected.size(); w = w->nextInFocusChain())
        if (form.PgFiscalizacion->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus))
            chain.append(w);
    EXPECT_EQ(chain, expected);
}

TEST(WindowTest, FormCreateClearsTheFoundFlagAndSetsTheFormats)
{
    TForm1 form;
    SetImpresorEncontrado(true);
    FormatSettings() = TFormatSettings();
    form.FormCreate(&form);
    EXPECT_FALSE(ImpresorEncontrado());
    const TFormatSettings& s = FormatSettings();
    EXPECT_EQ(s.CurrencyString, QString());
    EXPECT_EQ(s.CurrencyFormat, 0);
    EXPECT_EQ(s.ThousandSeparator, QChar(0));
    EXPECT_EQ(s.DecimalSeparator, QLatin1Char('.'));
    EXPECT_EQ(s.ShortDateFormat, QStringLiteral("dd/mm/yy"));
    EXPECT_EQ(s.ListSeparator, QLatin1Char(','));
}

// The label keeps the moment the page was entered and grows to show it whole.
TEST(WindowTest, LastPageShowsTheDateItWasEnteredAt)
{
    TForm1 form;
    form.FormCreate(&form);
    SetImpresorEncontrado(true);
    TimeBase::SetNow(QDateTime(QDate(2026, 12, 6), QTime(17, 5, 9)));
    form.Pruebas->setEnabled(true);
    form.reiniciar->setEnabled(true);
    form.PgFiscalizacionEnterPage(form.PgFiscalizacion);
    EXPECT_EQ(form.fecha->text(), QStringLiteral("06/12/26 17:05:09"));
    EXPECT_GE(form.fecha->width(), form.fecha->sizeHint().width());
    EXPECT_FALSE(form.Pruebas->isEnabled());
    EXPECT_FALSE(form.reiniciar->isEnabled());
    EXPECT_TRUE(form.wizard->ButtonFinish()->Visible());
    TimeBase::Reset();
}

TEST(WindowTest, SalirAndClosingTheWindowEndTheMainLoop)
{
    TForm1 form;
    form.wizard->Loaded();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    Application().ClearTerminated();
    QTest::mouseClick(form.wizard->ButtonControl(bkCancel), Qt::LeftButton);
    EXPECT_TRUE(Application().Terminated());

    Application().ClearTerminated();
    // The window stays until the main loop has ended; the program then destroys it.
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(Application().Terminated());
    EXPECT_TRUE(form.isVisible());
    Application().ClearTerminated();
}

TEST(WindowTest, ShortBoxesLimitTypingToFour)
{
    TForm1 form;
    form.Pruebas->setEnabled(true);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    for (QLineEdit* box : {form.iva1, form.iva2, form.iva3, form.edhora, form.edfecha}) {
        box->setFocus();
        box->end(false);
        QTest::keyClicks(box, QStringLiteral("99"));
        EXPECT_EQ(box->text().size(), 4);
    }
    form.close();
}
