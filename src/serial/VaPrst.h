#pragma once

#include <QtGlobal>

#include <functional>

enum TVaControlDtr
{
    dtrDisabled,
    dtrEnabled,
    dtrHandshake
};

enum TVaControlRts
{
    rtsDisabled,
    rtsEnabled,
    rtsHandshake,
    rtsToggle
};

// Base of the port's setting groups. The owner learns of every change through OnChange; changes
// made between BeginUpdate and the outermost EndUpdate are reported once, at that EndUpdate.
class TVaPersistent
{
public:
    using TChangeEvent = std::function<void(TVaPersistent* Sender)>;

    virtual ~TVaPersistent() = default;

    // Copies the values of a group of the same class. Any other source raises the runtime's
    // assignment error.
    virtual void Assign(const TVaPersistent& source);
    virtual const char* ClassName() const { return "TVaPersistent"; }

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    void Changed();
    int UpdateCount() const { return updateCount_; }

    TChangeEvent OnChange;

protected:
    // Runs copy between BeginUpdate and EndUpdate; EndUpdate runs also when copy raises.
    template <typename Copy> void Update(Copy&& copy)
    {
        BeginUpdate();
        try {
            copy();
        } catch (...) {
            EndUpdate();
            throw;
        }
        EndUpdate();
    }

private:
    int updateCount_ = 0;
};

// Flow control of the line. Each setter reports a change only when the value differs.
class TVaFlowControl : public TVaPersistent
{
public:
    void Assign(const TVaPersistent& source) override;
    const char* ClassName() const override { return "TVaFlowControl"; }

    bool OutCtsFlow() const { return outCtsFlow_; }
    void SetOutCtsFlow(bool value) { Store(outCtsFlow_, value); }
    bool OutDsrFlow() const { return outDsrFlow_; }
    void SetOutDsrFlow(bool value) { Store(outDsrFlow_, value); }
    TVaControlDtr ControlDtr() const { return controlDtr_; }
    void SetControlDtr(TVaControlDtr value) { Store(controlDtr_, value); }
    TVaControlRts ControlRts() const { return controlRts_; }
    void SetControlRts(TVaControlRts value) { Store(controlRts_, value); }
    bool XonXoffOut() const { return xonXoffOut_; }
    void SetXonXoffOut(bool value) { Store(xonXoffOut_, value); }
    bool XonXoffIn() const { return xonXoffIn_; }
    void SetXonXoffIn(bool value) { Store(xonXoffIn_, value); }
    bool DsrSensitivity() const { return dsrSensitivity_; }
    void SetDsrSensitivity(bool value) { Store(dsrSensitivity_, value); }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool value) { Store(txContinueOnXoff_, value); }

private:
    template <typename T> void Store(T& field, T value)
    {
        if (field == value)
            return;
        field = value;
        Changed();
    }

    bool outCtsFlow_ = false;
    bool outDsrFlow_ = false;
    TVaControlDtr controlDtr_ = dtrDisabled;
    TVaControlRts controlRts_ = rtsDisabled;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
};

// The line's special characters. Every assignment is reported, also of the value already held:
// the owner then rewrites the line settings.
class TVaEventChars : public TVaPersistent
{
public:
    void Assign(const TVaPersistent& source) override;
    const char* ClassName() const override { return "TVaEventChars"; }

    quint8 XonChar() const { return chars_[0]; }
    void SetXonChar(quint8 value) { SetChar(1, value); }
    quint8 XoffChar() const { return chars_[1]; }
    void SetXoffChar(quint8 value) { SetChar(2, value); }
    quint8 ErrorChar() const { return chars_[2]; }
    void SetErrorChar(quint8 value) { SetChar(3, value); }
    quint8 EventChar() const { return chars_[3]; }
    void SetEventChar(quint8 value) { SetChar(4, value); }
    quint8 EofChar() const { return chars_[4]; }
    void SetEofChar(quint8 value) { SetChar(5, value); }

    // Index 1 XonChar to 5 EofChar.
    void SetChar(int index, quint8 value);

private:
    quint8 chars_[5] = {0x11, 0x13, 0, 0, 0};
};

// Queue sizes and time-outs. The sizes report changes when they differ; the time-outs are plain
// values read at their next use.
class TVaBuffers : public TVaPersistent
{
public:
    void Assign(const TVaPersistent& source) override;
    const char* ClassName() const override { return "TVaBuffers"; }

    int ReadSize() const { return readSize_; }
    void SetReadSize(int value);
    int WriteSize() const { return writeSize_; }
    void SetWriteSize(int value);
    // Milliseconds of the program's clock.
    int ReadTimeout() const { return readTimeout_; }
    void SetReadTimeout(int value) { readTimeout_ = value; }
    int WriteTimeout() const { return writeTimeout_; }
    void SetWriteTimeout(int value) { writeTimeout_ = value; }

private:
    int readSize_ = 4096;
    int writeSize_ = 2048;
    int readTimeout_ = 1000;
    int writeTimeout_ = 1000;
};
