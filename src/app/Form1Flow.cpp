#include "app/Form1.h"

#include "printer/LinkState.h"
#include "runtime/Application.h"
#include "runtime/Format.h"
#include "wizard/KWizard.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>

void TForm1::FormCreate(QObject*)
{
    SetImpresorEncontrado(false);

    // Amounts go to the printer as plain digits with a point; the date shows as dd/mm/yy.
    TFormatSettings& settings = FormatSettings();
    settings.CurrencyString = QString();
    settings.CurrencyFormat = 0;
    settings.ThousandSeparator = QChar(0);
    settings.DecimalSeparator = QLatin1Char('.');
    settings.ShortDateFormat = QStringLiteral("dd/mm/yy");
    settings.ListSeparator = QLatin1Char(',');
}

void TForm1::PgVerificacionEnterPage(QObject*)
{
    // Without a printer the welcome page shows while the report goes out; the wizard still
    // completes the move to this page when the handler returns.
    if (!ImpresorEncontrado())
        wizard->SelectFirstPage();
    // The button's own path, although the button is disabled at this time.
    btrepzClick(btrepz);
}

void TForm1::PgFiscalizacionEnterPage(QObject*)
{
    if (!ImpresorEncontrado())
        wizard->SelectFirstPage();
    Pruebas->setEnabled(false);
    reiniciar->setEnabled(false);
    // On this last page Proceder takes the place of Siguiente.
    wizard->ButtonFinish()->SetVisible(true);
    // The time entered, not refreshed later; the label grows to its text.
    fecha->setText(DateTimeToStr(Now()));
    fecha->adjustSize();
}

void TForm1::wizardCancelButtonClick(QObject*)
{
    Application().Terminate();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // The window stays until the main loop ends (at once when no handler is running) and is
    // destroyed there: closing it now could pull it away under a running wait.
    event->ignore();
    Application().Guard([] { Application().Terminate(); });
}
