#include "app/Form1.h"

#include "app/ReplyBox.h"
#include "app/TrafficWindow.h"
#include "printer/TrafficRecord.h"

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
