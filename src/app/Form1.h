#pragma once

#include "runtime/Timer.h"

#include <QByteArray>
#include <QWidget>

#include <memory>
#include <optional>

enum class JobResult;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TJournalWriter;
class TKWizard;
class TKWizardCustomPage;
class TKWizardInteriorPage;
class TKWizardWelcomePage;
class TPrinterLink;
class TReplyBox;
class TTrafficRecord;
class TTrafficWindow;
class TVaComm;

// The main window: a four-page wizard with its controls, the two timers, and the handlers that
// drive the printer through the printer link (printer/PrinterLink.h). Every command goes through
// EnviaComando, which waits on this thread while the poll timer Timer2 collects the reply; the
// reply box `respuesta` shows it as it arrives.
//
// Start-up (see Startup.h): construct, then the wizard's end-of-load step (wizard->Loaded()),
// then FormCreate, then show.
class TForm1 : public QWidget
{
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Components, in the order the window declares them. Qt's parent ownership frees them.
    TTimer* Timer1 = nullptr;
    TKWizard* wizard = nullptr;
    TKWizardWelcomePage* Titulo = nullptr;
    TKWizardInteriorPage* pgPuerto = nullptr;
    QLabel* lbserial = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* lbport = nullptr;
    QLabel* Label15 = nullptr;
    TKWizardInteriorPage* PgVerificacion = nullptr;
    TKWizardInteriorPage* PgFiscalizacion = nullptr;
    QLabel* Label10 = nullptr;
    QGroupBox* reiniciar = nullptr;
    QPushButton* reset = nullptr;
    QGroupBox* Pruebas = nullptr;
    QPushButton* btrepz = nullptr;
    QPushButton* AbreNF = nullptr;
    QPushButton* LineaNF = nullptr;
    QLineEdit* edlinea = nullptr;
    QPushButton* CierraNF = nullptr;
    QLineEdit* resp2 = nullptr;
    TReplyBox* respuesta = nullptr;
    QLabel* Label11 = nullptr;
    QLineEdit* iva1 = nullptr;
    QLineEdit* iva2 = nullptr;
    QLineEdit* iva3 = nullptr;
    QPushButton* cambiatasa = nullptr;
    QPushButton* Button1 = nullptr;
    QLineEdit* edhora = nullptr;
    QLineEdit* edfecha = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* fecha = nullptr;
    // The link's port, created with the window and kept for its whole life.
    TVaComm* puerto = nullptr;
    TTimer* Timer2 = nullptr;

    // The session with the printer: frames, exchange, search, the reply.
    TPrinterLink* link = nullptr;

    // What went over the line: every write, every read of the poll tick, the search's events.
    TTrafficRecord* traffic = nullptr;

    // Frames the payload, writes it and waits for the reply (at most 30 s, ETX seen) and then a
    // settling pause of 2 s, letting the message loop run. The reply is left in the link and
    // shown in `respuesta`.
    void EnviaComando(const QByteArray& payload);

    // Handlers.
    void FormCreate(QObject* Sender);
    void PgVerificacionEnterPage(QObject* Sender);
    void PgFiscalizacionEnterPage(QObject* Sender);
    void wizardCancelButtonClick(QObject* Sender);
    void Timer1Timer(QObject* Sender);
    void Timer2Timer(QObject* Sender);
    void pgPuertoEnterPage(QObject* Sender);
    void btrepzClick(QObject* Sender);
    void AbreNFClick(QObject* Sender);
    void LineaNFClick(QObject* Sender);
    void CierraNFClick(QObject* Sender);
    void cambiatasaClick(QObject* Sender);
    void Button1Click(QObject* Sender);
    void resetClick(QObject* Sender);
    void wizardFinishButtonClick(QObject* Sender);

    QString FormateaMonto(const QString& texto, quint8 decimales) const;

    // Opens the traffic window beside this one (Ctrl+T, or "Ver tráfico…" in the reply box's
    // menu), or brings it to the front.
    void ShowTraffic();
    TTrafficWindow* TrafficWindow() const { return trafficWindow.get(); }

signals:
    // The search put a new text into lbport ("Evaluando COM7", "COM3", ...). Lets observers
    // follow the search without polling the label.
    void PortTextShown(const QString& text);

protected:
    // Closing by the title bar ends the program like Salir: the main loop ends once the running
    // handler (and any wait in it) is over, and the window stays until then.
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateWizard();
    void CreateWelcomePage();
    void CreatePortPage();
    void CreateVerificationPage();
    void CreateFiscalPage();
    void CreateLink();
    void ConnectClick(QPushButton* button, void (TForm1::*handler)(QObject*));
    void ConnectEnterPage(TKWizardCustomPage* page, void (TForm1::*handler)(QObject*));
    static void ShowPortLabel(QLabel* label, const QString& text);
    void ShowPortText(const QString& text);
    void CreateTrafficAccess();
    // Appends the job just done (command "z" or "clock") with the reply in the link to the
    // journal that orvalenctl keeps, so that its history and its `z --if-due` see the window's
    // work. Nothing shows on screen: a journal that cannot be written costs one line on stderr.
    // The line is written by journalWriter's thread; nothing here waits for the journal.
    void RecordJob(const QString& command, JobResult result) noexcept;
    TJournalWriter* journalWriter = nullptr; // created with the first line, a child of the window
    // The Latin-1 bytes of a box's text; on a character the printer cannot receive, tells the
    // user and returns nothing.
    std::optional<QByteArray> TypedBytes(const QLineEdit* box);

    std::unique_ptr<TTrafficWindow> trafficWindow;
};
