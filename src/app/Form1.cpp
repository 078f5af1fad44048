#include "app/Form1.h"

#include "app/ReplyBox.h"
#include "app/ScreenReaderNames.h"
#include "app/TrafficWindow.h"
#include "app/TypedLimit.h"
#include "printer/Payloads.h"
#include "printer/PrinterLink.h"
#include "printer/TrafficRecord.h"
#include "runtime/Application.h"
#include "wizard/KWizard.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <iterator>

namespace {

// The window is laid out for 96 dpi: Arial 8 pt is 11 px high, the port page's labels use
// Arial 14 pt bold, 19 px high.
constexpr int WindowFontPx = 11;
constexpr int PortLabelFontPx = 19;
constexpr int ClientWidth = 486;
constexpr int ClientHeight = 412;
// The rate, date and time boxes take at most four typed characters.
constexpr int ShortBoxTypedLimit = 4;
constexpr int TimerIntervalMs = 1000;

constexpr int WaterMarkWidth = 164;
constexpr int HeaderHeight = 70;
constexpr int HeaderTitleFontPx = 16;
constexpr int HeaderSubtitleFontPx = 11;
constexpr int HeaderAnchorPlacement = 4;

QFont ArialPx(int pixelSize, bool bold = false)
{
    // Pixel sizes, not points: Qt scales them with the device-independent pixels of the window.
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void SetUpTitle(TKWizardPageTitle* title, const QString& text, TAnchors anchors, const QFont& font)
{
    title->SetText(text);
    title->SetAnchors(anchors);
    title->SetAnchorPlacement(HeaderAnchorPlacement);
    title->SetIndent(0);
    title->SetAlignment(taLeftJustify);
    title->SetFont(font);
    title->SetFontColor(clWindowText);
}

// Every page has the same header apart from its texts.
void SetUpHeader(TKWizardCustomPage* page, const QString& title, const QString& subtitle)
{
    TKWizardPageHeader* header = page->Header();
    header->SetHeight(HeaderHeight);
    header->SetColor(clWindow);
    header->SetVisible(true);
    header->SetParentFont(true);
    header->SetImageIndex(-1);
    header->SetImageOffset(0);
    header->SetImageAlign(waRight);
    SetUpTitle(header->Title(), title, akLeft | akTop | akRight, ArialPx(HeaderTitleFontPx, true));
    SetUpTitle(header->Subtitle(), subtitle, akLeft | akTop | akRight | akBottom,
               ArialPx(HeaderSubtitleFontPx));
    TKWizardPagePanel* panel = page->Panel();
    panel->SetBorderWidth(7);
    panel->SetColor(clBtnFace);
    panel->SetVisible(false);
}

TKWizardInteriorPage* MakeInteriorPage(QWidget* owner, const QString& name, const QString& title,
                                       const QString& subtitle)
{
    auto* page = new TKWizardInteriorPage(owner);
    page->setObjectName(name);
    page->SetColor(clBtnFace);
    SetUpHeader(page, title, subtitle);
    return page;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setGeometry(geometry);
    return button;
}

template <typename Edit = QLineEdit>
Edit* MakeEdit(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* edit = new Edit(parent);
    edit->setText(text);
    edit->setGeometry(geometry);
    return edit;
}

TTypedLimitEdit* MakeShortEdit(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* edit = MakeEdit<TTypedLimitEdit>(parent, text, geometry);
    edit->SetTypedLimit(ShortBoxTypedLimit);
    return edit;
}

QGroupBox* MakeGroup(QWidget* parent, const QString& title, const QRect& geometry)
{
    auto* group = new QGroupBox(title, parent);
    group->setGeometry(geometry);
    group->setEnabled(false);
    return group;
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Orvalen V1.4"));
    // The button-face colour is the palette's window colour (see wizard/Graphics).
    setBackgroundRole(QPalette::Window);
    setFont(ArialPx(WindowFontPx));
    // The wizard fills the client area exactly.
    resize(ClientWidth, ClientHeight);
    traffic = new TTrafficRecord(this);
    CreateControls();
    NameForScreenReaders(*this);
    CreateTrafficAccess();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls()
{
    Timer1 = new TTimer(this);
    Timer1->SetEnabled(false);
    Timer1->SetInterval(TimerIntervalMs);
    Timer1->OnTimer = [this](QObject* sender) { Timer1Timer(sender); };

    CreateWizard();
    // Each page is attached once it is complete with its controls, so the page order of the
    // wizard is the order of creation.
    CreateWelcomePage();
    CreatePortPage();
    CreateVerificationPage();
    CreateFiscalPage();
    CreateLink();

    Timer2 = new TTimer(this);
    Timer2->SetInterval(TPrinterLink::PollIntervalMs);
    Timer2->OnTimer = [this](QObject* sender) { Timer2Timer(sender); };

    // Labels size themselves to their text. The stored sizes were measured with the original
    // font; where this system's Arial (usually a metric twin) needs a pixel more, the label
    // grows rather than cut its last letter.
    for (QLabel* label : findChildren<QLabel*>())
        if (label->sizeHint().width() > label->width())
            label->resize(label->sizeHint().width(), label->height());

    // The welcome page is the active page as stored; the wizard's end-of-load step follows.
    wizard->SetActivePage(Titulo);
}

void TForm1::CreateWizard()
{
    wizard = new TKWizard(this);
    wizard->setObjectName(QStringLiteral("wizard"));
    // It follows the window's size once shown; until then its place is set here.
    wizard->setGeometry(0, 0, ClientWidth, ClientHeight);
    wizard->SetShowRouteMap(false);
    wizard->SetOnFinishButtonClick([this](QObject* sender) { wizardFinishButtonClick(sender); });
    wizard->SetOnCancelButtonClick([this](QObject* sender) { wizardCancelButtonClick(sender); });

    struct StoredButton
    {
        TKWizardButton* button;
        const char* caption;
        bool visible;
    };
    const StoredButton buttons[] = {
        {wizard->ButtonStart(), "&Inciniciar", false}, {wizard->ButtonLast(), "&Fiscalizar", false},
        {wizard->ButtonBack(), "< &Anterior", true},   {wizard->ButtonNext(), "&Siguiente >", true},
        {wizard->ButtonFinish(), "&Proceder", false},  {wizard->ButtonCancel(), "Salir", true},
    };
    for (const StoredButton& b : buttons) {
        b.button->SetEnabled(true);
        b.button->SetCaption(QString::fromLatin1(b.caption));
        b.button->SetVisible(b.visible);
        b.button->SetNumGlyphs(1);
        b.button->SetLayout(blGlyphLeft);
    }
}

void TForm1::CreateWelcomePage()
{
    Titulo = new TKWizardWelcomePage(this);
    Titulo->setObjectName(QStringLiteral("Titulo"));
    Titulo->SetCaption(QStringLiteral("Siga los siguientes pasos"));
    SetUpHeader(Titulo, QStringLiteral("Programa para Orvalen"),
                QStringLiteral("Impresoras Fiscales QDX."));
    TKWizardWaterMark* mark = Titulo->WaterMark();
    mark->SetAlign(waLeft);
    mark->SetBorderWidth(1);
    mark->SetWidth(WaterMarkWidth);
    mark->SetColor(clActiveCaption);
    mark->SetVisible(true);
    Titulo->SetWizard(wizard);
}

void TForm1::CreatePortPage()
{
    pgPuerto = MakeInteriorPage(
        this, QStringLiteral("pgPuerto"), QStringLiteral("Determinando Puerto "),
        QStringLiteral("Se evaluaran todos los puertos hasta que se obtenga respuesta de un "
                       "impresor"));
    // The port page's labels are large and size themselves to their text (the search resizes
    // lbport and lbserial as it writes them).
    const QFont big = ArialPx(PortLabelFontPx, true);
    lbserial = MakeLabel(pgPuerto, QString(), {128, 208, 5, 22});
    Label16 = MakeLabel(pgPuerto, QStringLiteral("Serial:"), {48, 208, 60, 22});
    lbport = MakeLabel(pgPuerto, QString(), {144, 160, 5, 22});
    Label15 = MakeLabel(pgPuerto, QStringLiteral("Puerto: "), {48, 160, 74, 22});
    for (QLabel* label : {lbserial, Label16, lbport, Label15})
        label->setFont(big);
    ConnectEnterPage(pgPuerto, &TForm1::pgPuertoEnterPage);
    pgPuerto->SetWizard(wizard);
}

void TForm1::CreateVerificationPage()
{
    PgVerificacion = MakeInteriorPage(
        this, QStringLiteral("PgVerificacion"), QStringLiteral("Generando Reporte Z"),
        QStringLiteral("Verifique que se genero correctamente el reporte Z y presione el boton "
                       "siguiente para proceder al cambio de horario"));
    ConnectEnterPage(PgVerificacion, &TForm1::PgVerificacionEnterPage);
    PgVerificacion->SetWizard(wizard);
}

void TForm1::CreateFiscalPage()
{
    PgFiscalizacion = MakeInteriorPage(
        this, QStringLiteral("PgFiscalizacion"), QStringLiteral("Cambio de Horario"),
        QStringLiteral("Seleccione el botón de Procesar y espere que se "
                       "compruebe el impresor. Pruebe despues de ejecutado si "
                       "el cambio fue realizado."));
    QWidget* page = PgFiscalizacion;
    Label10 = MakeLabel(page, QStringLiteral("Comunicación"), {8, 280, 67, 14});
    reiniciar = MakeGroup(page, QStringLiteral(" Reiniciar "), {8, 88, 145, 129});
    reset = MakeButton(reiniciar, QStringLiteral("Reiniciar Impresor"), {7, 55, 129, 33});
    Pruebas = MakeGroup(page, QStringLiteral(" Pruebas "), {158, 80, 329, 169});
    btrepz = MakeButton(Pruebas, QStringLiteral("Reporte Z"), {8, 24, 73, 25});
    AbreNF = MakeButton(Pruebas, QStringLiteral("AbreNF"), {88, 24, 73, 25});
    LineaNF = MakeButton(Pruebas, QStringLiteral("LineaNF"), {248, 24, 73, 25});
    edlinea = MakeEdit(Pruebas, QStringLiteral("linea de prueba"), {8, 64, 313, 22});
    CierraNF = MakeButton(Pruebas, QStringLiteral("CierraNF"), {168, 24, 73, 25});
    resp2 = MakeEdit(page, QString(), {8, 295, 473, 22});
    respuesta = MakeEdit<TReplyBox>(page, QString(), {8, 321, 473, 22});
    Label11 = MakeLabel(Pruebas, QStringLiteral("TASAS"), {8, 104, 35, 14});
    iva1 = MakeShortEdit(Pruebas, QStringLiteral("0700"), {56, 99, 41, 22});
    iva2 = MakeShortEdit(Pruebas, QStringLiteral("1000"), {104, 99, 41, 22});
    iva3 = MakeShortEdit(Pruebas, QStringLiteral("1500"), {152, 99, 41, 22});
    cambiatasa = MakeButton(Pruebas, QStringLiteral("Cambia tasa"), {198, 96, 75, 25});
    Button1 = MakeButton(Pruebas, QStringLiteral("Factura Prueba"), {12, 132, 101, 29});
    edhora = MakeShortEdit(Pruebas, QStringLiteral("1900"), {122, 134, 47, 22});
    edfecha = MakeShortEdit(Pruebas, QStringLiteral("1900"), {178, 134, 47, 22});
    Label1 = MakeLabel(page, QStringLiteral("Fecha a Generar: "), {112, 264, 88, 14});
    fecha = MakeLabel(page, QStringLiteral("Fecha"), {208, 264, 30, 14});

    // Tab order: the group boxes' controls in their own order, then the two reply boxes.
    QWidget* order[] = {reset, btrepz,     AbreNF,  LineaNF, edlinea, CierraNF, iva1,     iva2,
                        iva3,  cambiatasa, Button1, edhora,  edfecha, resp2,    respuesta};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    ConnectClick(reset, &TForm1::resetClick);
    ConnectClick(btrepz, &TForm1::btrepzClick);
    ConnectClick(AbreNF, &TForm1::AbreNFClick);
    ConnectClick(LineaNF, &TForm1::LineaNFClick);
    ConnectClick(CierraNF, &TForm1::CierraNFClick);
    ConnectClick(cambiatasa, &TForm1::cambiatasaClick);
    ConnectClick(Button1, &TForm1::Button1Click);
    ConnectEnterPage(PgFiscalizacion, &TForm1::PgFiscalizacionEnterPage);
    PgFiscalizacion->SetWizard(wizard);
}

void TForm1::ConnectEnterPage(TKWizardCustomPage* page, void (TForm1::*handler)(QObject*))
{
    // Called from inside the wizard's page change, which our own code started: errors pass on
    // to whoever started it (a guarded click or tick).
    page->OnEnterPage = [this, handler](QObject* sender) { (this->*handler)(sender); };
}

void TForm1::ConnectClick(QPushButton* button, void (TForm1::*handler)(QObject*))
{
    // Qt calls in here: an error escaping the handler must not unwind through Qt's frames.
    connect(button, &QPushButton::clicked, this,
            [this, button, handler] { Application().Guard([&] { (this->*handler)(button); }); });
}

QString TForm1::FormateaMonto(const QString& texto, quint8 decimales) const
{
    return ::FormateaMonto(texto, decimales);
}
