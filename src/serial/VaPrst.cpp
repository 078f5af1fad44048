#include "serial/VaPrst.h"

#include "runtime/Exception.h"
#include "runtime/Format.h"

void TVaPersistent::Assign(const TVaPersistent& source)
{
    throw Exception(Format("Cannot assign a %s to a %s", {source.ClassName(), ClassName()}));
}

void TVaPersistent::EndUpdate()
{
    if (updateCount_ > 0)
        --updateCount_;
    Changed();
}

void TVaPersistent::Changed()
{
    if (updateCount_ == 0 && OnChange)
        OnChange(this);
}

void TVaFlowControl::Assign(const TVaPersistent& source)
{
    const auto* other = dynamic_cast<const TVaFlowControl*>(&source);
    if (!other) {
        TVaPersistent::Assign(source);
        return;
    }
    Update([&] {
        SetOutCtsFlow(other->OutCtsFlow());
        SetOutDsrFlow(other->OutDsrFlow());
        SetControlDtr(other->ControlDtr());
        SetControlRts(other->ControlRts());
        SetXonXoffOut(other->XonXoffOut());
        SetXonXoffIn(other->XonXoffIn());
        SetDsrSensitivity(other->DsrSensitivity());
        SetTxContinueOnXoff(other->TxContinueOnXoff());
    });
}

void TVaEventChars::SetChar(int index, quint8 value)
{
    if (index < 1 || index > 5)
        return;
    chars_[index - 1] = value;
    Changed();
}

void TVaEventChars::Assign(const TVaPersistent& source)
{
    const auto* other = dynamic_cast<const TVaEventChars*>(&source);
    if (!other) {
        TVaPersistent::Assign(source);
        return;
    }
    Update([&] {
        SetXonChar(other->XonChar());
        SetXoffChar(other->XoffChar());
        SetErrorChar(other->ErrorChar());
        SetEventChar(other->EventChar());
        SetEofChar(other->EofChar());
    });
}

void TVaBuffers::SetReadSize(int value)
{
    if (readSize_ == value)
        return;
    readSize_ = value;
    Changed();
}

void TVaBuffers::SetWriteSize(int value)
{
    if (writeSize_ == value)
        return;
    writeSize_ = value;
    Changed();
}

void TVaBuffers::Assign(const TVaPersistent& source)
{
    const auto* other = dynamic_cast<const TVaBuffers*>(&source);
    if (!other) {
        TVaPersistent::Assign(source);
        return;
    }
    Update([&] {
        readSize_ = other->readSize_;
        writeSize_ = other->writeSize_;
        readTimeout_ = other->readTimeout_;
        writeTimeout_ = other->writeTimeout_;
    });
}
