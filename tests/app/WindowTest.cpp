#include "app/Form1.h"
#include "app/ReplyBox.h"
#include "serial/VaComm.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

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
    EXPECT_EQ(form.reset->parentWidget(), form.reiniciar);
    for (QWidget* w : {static_cast<QWidget*>(form.btrepz), static_cast<QWidget*>(form.iva1),
                       static_cast<QWidget*>(form.edfecha), static_cast<QWidget*>(form.Label11)})
        EXPECT_EQ(w->parentWidget(), form.Pruebas);
    EXPECT_EQ(form.respuesta->parentWidget(), form.PgFiscalizacion);
    EXPECT_EQ(form.lbport->parentWidget(), form.pgPuerto);
    EXPECT_EQ(form.edlinea->text(), QStringLiteral("linea de prueba"));
    EXPECT_EQ(form.edhora->text(), QStringLiteral("1900"));
    EXPECT_EQ(form.Pruebas->geometry(), QRect(158, 80, 329, 169));
    EXPECT_EQ(form.respuesta->geometry(), QRect(8, 321, 473, 22));
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
