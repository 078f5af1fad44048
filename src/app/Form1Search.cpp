#include "app/Form1.h"

#include "printer/PrinterLink.h"
#include "runtime/Application.h"

#include <QLabel>

void TForm1::pgPuertoEnterPage(QObject*)
{
    Timer1->SetEnabled(true);
}

void TForm1::Timer1Timer(QObject*)
{
    Timer1->SetEnabled(false);
    ShowPortLabel(lbserial, QString());
    lbport->setToolTip(QString());
    // The labels follow the search through the link's signals (CreateLink).
    const TSearchResult result = link->Search();
    if (result.Found || result.Stopped)
        return;
    if (const QString advice = RefusalAdvice(result.Refusals, CurrentUserName()); !advice.isEmpty())
        Application().MessageBox(advice);
}

void TForm1::ShowPortLabel(QLabel* label, const QString& text)
{
    // The port page's labels size themselves to their text.
    label->setText(text);
    label->adjustSize();
}

void TForm1::ShowPortText(const QString& text)
{
    ShowPortLabel(lbport, text);
    emit PortTextShown(text);
}
