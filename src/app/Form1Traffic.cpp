#include "app/Form1.h"

#include "app/ReplyBox.h"
#include "app/TrafficFormat.h"
#include "app/TrafficRecord.h"
#include "app/TrafficWindow.h"
#include "serial/VaComm.h"

#include <QMenu>
#include <QShortcut>

#include <memory>

void TForm1::CreateTrafficAccess()
{
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this);
    connect(shortcut, &QShortcut::activated, this, &TForm1::ShowTraffic);

    // The reply box keeps its usual menu; the traffic window is one more entry at its end.
    respuesta->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(respuesta, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const std::unique_ptr<QMenu> menu(respuesta->createStandardContextMenu());
        menu->setObjectName(QStringLiteral("respuestaMenu"));
        menu->addSeparator();
        QAction* show = menu->addAction(QStringLiteral("Ver tráfico…"));
        show->setObjectName(QStringLiteral("verTrafico"));
        connect(show, &QAction::triggered, this, &TForm1::ShowTraffic);
        menu->exec(respuesta->mapToGlobal(at));
    });
}

void TForm1::ShowTraffic()
{
    if (!trafficWindow)
        trafficWindow = std::make_unique<TTrafficWindow>(*traffic);
    trafficWindow->ShowBeside(this);
}

void TForm1::WriteToPrinter(const QByteArray& bytes, bool byteByByte)
{
    const QDateTime at = traffic->Clock();
    const bool open = puerto->Active();
    bool accepted = true;
    try {
        if (byteByByte) {
            for (char b : bytes)
                accepted = puerto->WriteChar(b) && accepted;
        } else {
            accepted = puerto->WriteText(bytes);
        }
    } catch (const std::exception& e) {
        // How much went out before the error is not known: no TX entry claims any of it.
        traffic->Event(QStringLiteral("Error al escribir %1: %2")
                           .arg(ReadableForm(bytes), QString::fromUtf8(e.what())));
        throw;
    }
    traffic->Written(at, bytes,
                     !open      ? TWriteOutcome::PortClosed
                     : accepted ? TWriteOutcome::Written
                                : TWriteOutcome::Unconfirmed);
}
