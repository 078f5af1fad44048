#pragma once

// A main window on a sped-up clock whose port COM3 is a pseudo-terminal played by the test.

#include "app/Form1.h"
#include "app/ReplyBox.h"
#include "printer/LinkState.h"
#include "printer/Sequence.h"
#include "runtime/Application.h"
#include "runtime/TimeBase.h"
#include "serial/VaComm.h"
#include "support/PtyPair.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

class FormFixture : public ::testing::Test
{
protected:
    static constexpr double Scale = 25;

    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        qputenv("ORVALEN_COM_DIR", dir_.path().toLocal8Bit());
        TimeBase::SetScale(Scale);
        // Closing the window of an earlier test told the program to end; the search would stop.
        Application().ClearTerminated();
        SetSecuencia(0);
        SetRandomState(0);
        SetRespuestaCompleta(false);
        Application().SetMessageHook([this](const QString& text) { messages.append(text); });
        peer = std::make_unique<PtyPair>(dir_.path() + QStringLiteral("/com3"));
        form = std::make_unique<TForm1>();
        form->puerto->SetPortNum(3);
        form->puerto->Open();
    }

    void TearDown() override
    {
        form->close();
        form.reset();
        peer.reset();
        Application().SetMessageHook({});
        TimeBase::SetScale(1);
        TimeBase::Reset();
        qunsetenv("ORVALEN_COM_DIR");
    }

    // Runs the call and returns how long it took on the program's clock, in seconds.
    template <typename F> double ProgramSecs(F&& call)
    {
        const TDateTime start = Now();
        call();
        return (Now() - start) * SecsPerDay;
    }

    QByteArray Reply() const { return form->respuesta->Bytes(); }

    QTemporaryDir dir_;
    std::unique_ptr<PtyPair> peer;
    std::unique_ptr<TForm1> form;
    QStringList messages;
};
