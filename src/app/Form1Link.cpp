#include "app/Form1.h"

#include "app/ReplyBox.h"
#include "printer/PrinterLink.h"
#include "runtime/Application.h"

#include <QLabel>

#include <cstdio>

void TForm1::CreateLink()
{
    link = new TPrinterLink(*traffic, this);
    puerto = link->Port();
    // A search started by the program's end would keep it going for minutes.
    link->StopRequested = [] { return Application().Terminated(); };

    // The box shows the reply as it arrives; what the user edits there is the reply the link
    // goes on with, as when the box was the reply's only store.
    connect(link, &TPrinterLink::ReplyChanged, this, [this](const QByteArray& reply) {
        if (respuesta->Bytes() != reply)
            respuesta->SetBytes(reply);
    });
    connect(respuesta, &QLineEdit::textEdited, this,
            [this] { link->SetReply(respuesta->Bytes()); });

    connect(link, &TPrinterLink::PortTried, this, [this](int com) {
        ShowPortText(QStringLiteral("Evaluando COM%1").arg(com));
        // Shown before the port is touched: opening or waiting may take a while.
        repaint();
    });
    connect(link, &TPrinterLink::PortRefused, this, [](const PortRefusal& refusal) {
        // Said at once; the advice after a fruitless search comes from the whole list.
        std::fprintf(stderr, "%s\n", qPrintable(RefusalLine(refusal)));
    });
    connect(link, &TPrinterLink::PrinterFound, this,
            [this](int com, const QByteArray& serialNumber) {
                ShowPortLabel(lbserial, ShowBytes(serialNumber));
                const QString comName = QStringLiteral("COM%1").arg(com);
                ShowPortText(comName);
                lbport->setToolTip(QString::fromLocal8Bit(DevicePathOfCom(comName)));
            });
    connect(link, &TPrinterLink::PrinterNotFound, this,
            [this] { ShowPortText(QStringLiteral("Impresora no encontrada")); });
}

void TForm1::EnviaComando(const QByteArray& payload)
{
    link->Send(payload);
}

void TForm1::Timer2Timer(QObject*)
{
    link->Poll();
}
