#pragma once

#include "platform/LineWatch.h"
#include "platform/SerialDevice.h"
#include "platform/UiCall.h"
#include "runtime/Events.h"
#include "runtime/Exception.h"
#include "serial/VaClasses.h"
#include "serial/VaPrst.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

enum TVaBaudrate
{
    brUser,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};

enum TVaParity
{
    paNone,
    paOdd,
    paEven,
    paMark,
    paSpace
};

enum TVaDatabits
{
    db4,
    db5,
    db6,
    db7,
    db8
};

enum TVaStopbits
{
    sb1,
    sb15,
    sb2
};

enum TVaCommOption
{
    coErrorChar,
    coNullStrip
};
using TVaCommOptions = TVaSet<TVaCommOption, quint8>;

enum TVaCommEvent
{
    ceBreak,
    ceCts,
    ceDsr,
    ceError,
    ceRing,
    ceRlsd,
    ceRxChar,
    ceTxEmpty,
    ceRxFlag,
    cePErr,
    ceRx80Full,
    ceEvent1,
    ceEvent2
};
using TVaCommEvents = TVaSet<TVaCommEvent, quint16>;

// Line event bits as the event mask carries them.
namespace CommEv {
inline constexpr quint32 RxChar = 0x0001;
inline constexpr quint32 RxFlag = 0x0002;
inline constexpr quint32 TxEmpty = 0x0004;
inline constexpr quint32 Cts = 0x0008;
inline constexpr quint32 Dsr = 0x0010;
inline constexpr quint32 Rlsd = 0x0020;
inline constexpr quint32 Break = 0x0040;
inline constexpr quint32 Err = 0x0080;
inline constexpr quint32 Ring = 0x0100;
inline constexpr quint32 PErr = 0x0200;
inline constexpr quint32 Rx80Full = 0x0400;
inline constexpr quint32 Event1 = 0x0800;
inline constexpr quint32 Event2 = 0x1000;
} // namespace CommEv

using TVaPortInt = int;

// Speed in bits per second of a Baudrate value (0 for brUser: the speed is UserBaudrate).
quint32 BaudrateSpeed(TVaBaudrate value);
// Event mask bit of a line event.
quint32 CommEventMask(TVaCommEvent event);

// The one exception type of the port: callers tell failures apart by the message, and a failed
// system call also by its error code (the printer search explains refused ports with it).
class EVaCommError : public Exception
{
public:
    using Exception::Exception;
    EVaCommError(QString message, int systemError)
        : Exception(std::move(message)), systemError_(systemError)
    {
    }

    // The system's error code (errno, Win32 error) of the call that failed; 0 when the failure
    // was not one.
    int SystemError() const noexcept { return systemError_; }

private:
    int systemError_ = 0;
};

using TVaCommErrorEvent = std::function<void(QObject* Sender, int Errors)>;
using TVaCommRxCharEvent = std::function<void(QObject* Sender, int Count)>;
using PVaData = const char*;
using TVaCommRxBufEvent = std::function<void(QObject* Sender, PVaData Data, int Count)>;

// The queue status: error flags (LineError bits) and the communications-status record.
struct TComStat
{
    quint32 Flags = 0;
    quint32 cbInQue = 0;  // received bytes waiting to be read
    quint32 cbOutQue = 0; // bytes not yet sent
};
struct TVaCommStatus
{
    quint32 Errors = 0;
    TComStat Status;
};

// The system's text for an error number in the user's language, trimmed of trailing control
// characters, blanks and full stops, at most 255 characters.
QString SystemErrorText(int error);

class TVaCommThread;
class TVaCommEventThread;
class TVaCommWriteThread;
class TVaCustomComm;

// A listener attached to a port: while enabled it receives the bytes the port reads for its
// listeners and the event masks the port dispatches. The port does not own it; either side
// may go first (destroying a listener detaches it, destroying the port clears the links).
class TVaCommLink
{
public:
    TVaCommLink() = default;
    virtual ~TVaCommLink();
    TVaCommLink(const TVaCommLink&) = delete;
    TVaCommLink& operator=(const TVaCommLink&) = delete;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }
    TVaCustomComm* Comm() const { return comm_; }

    std::function<void(PVaData Data, int Count)> OnRxBuf;
    std::function<void(quint32 Mask)> OnCommEvent;

private:
    friend class TVaCustomComm;
    TVaCustomComm* comm_ = nullptr;
    bool enabled_ = true;
};

// The port object: owns one serial device chosen by number, opens it exclusively, configures it,
// and writes and reads bytes with bounded waits. Every failure raises EVaCommError.
//
// A device that goes away while open (unplugged; the far end of a pseudo-terminal closed) makes
// the read, write or status query that meets it raise its error once and leaves the port closed
// (OnClose is raised), so a caller that polls Active() and ReadText() stops by itself instead of
// meeting the same error on every tick. Open works again once the device is back.
//
// While open, an event thread watches the line (when EventMask is not 0) and a write thread
// drains queued writes (when DirectWrite is false). Both deliver events by handing a call to
// this object's thread and waiting for it, or for their stop event. No thread outlives Close:
// StopThreads signals them, and the device is closed only after they have been joined, which
// is immediate because every wait of theirs also watches the stop event. Calls still queued
// for this object find their thread stopped and do nothing, and are dropped with the object.
//
// On Windows the driver raises the line events itself, ceRxFlag, cePErr, ceEvent1 and ceEvent2
// among them where it has them. A Linux terminal cannot be asked which bytes it received without
// reading them: with ceRxFlag watched, received bytes pass through this object (held_) on their
// way to ReadBuf and are looked at there. There cePErr, ceEvent1 and ceEvent2 never occur: a
// terminal has no printer status lines (those belong to parallel ports) and its driver no
// events of its own to report.
//
// ceRx80Full comes when the bytes waiting to be read pass four fifths of the input queue. On
// Windows the queue is the ReadSize given to SetupComm. On Linux a terminal holds at most 4095
// unread bytes (SerialDevice::InputCapacity) whatever ReadSize asks for, so the queue counts as
// ReadSize but at most 4095 bytes: the mark is 3276 bytes for the default ReadSize and for every
// larger one. With ceRxFlag watched there, this object holds ReadSize bytes of its own besides
// (see above), and the mark is four fifths of ReadSize.
//
// ceTxEmpty means the line's output queue is empty, in either write mode: after a direct write
// once the driver has sent the bytes, in queued mode once the write thread's queue has drained
// and the driver has sent what it was given. A Close in OnTxEmpty discards nothing.
class TVaCustomComm : public TVaComponent
{
    Q_OBJECT
public:
    explicit TVaCustomComm(QObject* owner = nullptr);
    ~TVaCustomComm() override;

    void Open();
    void Close();
    bool Active() const { return device_.IsOpen(); }

    // Returns the bytes written; 0 when closed, or when a direct write did not complete (handed
    // to the driver and sent) within Buffers()->ReadTimeout(). Nothing is left pending then:
    // what the driver took is still sent, what it did not take is not, and the 0 tells the
    // caller the write is incomplete.
    int WriteBuf(const char* data, int count);
    bool WriteText(const QByteArray& text);
    bool WriteChar(char c);
    // Reads at most count bytes that have already arrived; never waits for more.
    int ReadBuf(char* dest, int count);
    QByteArray ReadText();
    int ReadBufUsed();
    // Fetches, and thereby clears, the line's error flags, and the queue counts.
    void GetCommStatus(TVaCommStatus& status);
    // GetCommStatus, then OnError when error flags were set.
    bool CheckErrors();
    // Writes the line settings into the open device (nothing while closed or without UpdateDCB).
    void ApplyDCB();
    // The control block that the line settings give.
    CommControlBlock MakeControlBlock() const;

    void Loaded() override;

    // The open device (a descriptor, a HANDLE); NoWaitable while closed.
    Waitable Handle() const { return device_.Handle(); }
    quint32 EventMask() const { return eventMask_; }

    // Listeners, in the order they receive data and events.
    const QList<TVaCommLink*>& Links() const { return links_; }
    // Attaches a listener at the end of the list (a listener of another port moves here).
    void AddLink(TVaCommLink* link);
    // Detaches the listener when it is in the list.
    void RemoveLink(TVaCommLink* link);
    void ClearLinks();

    // The running threads, for tests and diagnostics (none while closed).
    TVaCommEventThread* EventThreadObject() const { return EventThread.get(); }
    TVaCommWriteThread* WriteThreadObject() const { return WriteThread.get(); }

    TNotifyEvent OnOpen;
    TNotifyEvent OnClose;
    TNotifyEvent OnCts;
    TNotifyEvent OnDsr;
    TNotifyEvent OnRlsd;
    TNotifyEvent OnRing;
    TNotifyEvent OnBreak;
    TVaCommErrorEvent OnError;
    TVaCommRxCharEvent OnRxChar;
    TNotifyEvent OnRxFlag;
    TVaCommRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnPErr;
    TNotifyEvent OnRx80Full;
    TNotifyEvent OnEvent1;
    TNotifyEvent OnEvent2;

protected:
    virtual void OpenDevice();
    // Background threads: an event thread when EventMask is not 0, a write thread when
    // DirectWrite is false.
    virtual void StartThreads();
    // Asks both threads to end and forgets them. They are joined by CloseDevice, before the
    // descriptor they use is closed; that wait is short because every wait of a thread, also
    // one for a hand-over to this thread, ends on its stop event.
    virtual void StopThreads();
    // Hands bytes to the write thread's queue; false when they found no room in time. Without a
    // write thread nothing can be queued.
    virtual bool QueueWrite(const char* data, int count);
    // Applies EventPriority/WritePriority to running threads.
    virtual void UpdateThreadPriorities();
    virtual void HandleRxChar();
    virtual void HandleEvents(quint32 mask);
    virtual void NotifyLinks(quint32 mask);
    virtual void DoRxBuf(PVaData data, int count);

    QByteArray GetDeviceName() const;
    void CloseDevice();
    void ApplyBuffers();
    void ApplyTimeouts();
    void ApplyEventMask();
    void DoOpen();
    void DoClose();
    void CheckClosed() const;
    [[noreturn]] void RaiseCommError(const QString& format, int error) const;
    void CheckCommResult(int error, const QString& format) const;
    void LockWrite() { WriteLock.Enter(); }
    void UnlockWrite() { WriteLock.Leave(); }
    void LockRead() { ReadLock.Enter(); }
    void UnlockRead() { ReadLock.Leave(); }

    SerialDevice device_;
    TVaCriticalSection WriteLock;
    TVaCriticalSection ReadLock;
    TVaWaitEvent WaitEvent;
    std::shared_ptr<TVaCommEventThread> EventThread;
    std::shared_ptr<TVaCommWriteThread> WriteThread;
    // Stopped threads not yet joined.
    std::vector<std::shared_ptr<TVaCommThread>> stoppedThreads_;
    // What the event thread needs to know of our own reads and writes.
    LineActivity activity_;
    // Bytes taken from the device to look for the event character and not yet read; they come
    // before the device's own (under ReadLock).
    QByteArray held_;
    QList<TVaCommLink*> links_;
    // Where the threads' hand-overs are served; a child, so that calls still queued when the
    // port is destroyed are dropped with it.
    UiCallTarget* uiCalls_ = nullptr;
    quint32 eventMask_ = 0;
    bool autoOpen_ = false;
    TVaPortInt portNum_ = 0;
    QByteArray deviceName_ = "COM%d";
    TVaCommEvents monitorEvents_ = {ceError, ceRxChar, ceTxEmpty};
    std::unique_ptr<TVaBuffers> buffers_;
    TThreadPriority eventPriority_ = tpNormal;
    TThreadPriority writePriority_ = tpHighest;
    bool directWrite_ = false;
    bool linksEnabled_ = true;
    TVaBaudrate baudrate_ = br1200;
    TVaParity parity_ = paNone;
    bool parityCheck_ = false;
    TVaDatabits databits_ = db8;
    TVaStopbits stopbits_ = sb1;
    TVaCommOptions options_;
    std::unique_ptr<TVaFlowControl> flowControl_;
    std::unique_ptr<TVaEventChars> eventChars_;
    bool updateDCB_ = true;
    qint32 userBaudrate_ = 0;

private:
    // Whether received bytes pass through held_ (ceRxFlag watched, and the driver does not look
    // for the event character itself).
    bool HoldsArrivals() const;
    // With ceRxFlag watched: takes the bytes waiting in the device into held_ (up to the input
    // queue's size) and returns RxFlag when the event character is among them.
    quint32 TakeArrivals();
    // With ceRx80Full watched: tells the event thread how many bytes a read left waiting.
    void NoteLeftAfterRead();
    void JoinStoppedThreads();
    void StartThreadsOrThrow();
    // Raises the error of a device call; a device that has gone away is closed first.
    [[noreturn]] void RaiseDeviceError(const QString& format, int error);
    void DropLostDevice();
    bool opening_ = false;
    // Counts the closes of the device: a call posted while the device was open runs only while
    // the same opening lasts.
    std::atomic<quint32> closes_{0};
};

// The published port: its properties with their setters. Line settings may change at any time
// (an open port gets them at once); settings that need a new device refuse while open.
class TVaComm : public TVaCustomComm
{
    Q_OBJECT
public:
    explicit TVaComm(QObject* owner = nullptr) : TVaCustomComm(owner) {}

    bool AutoOpen() const { return autoOpen_; }
    void SetAutoOpen(bool value) { autoOpen_ = value; }
    TVaBaudrate Baudrate() const { return baudrate_; }
    void SetBaudrate(TVaBaudrate value);
    TVaParity Parity() const { return parity_; }
    void SetParity(TVaParity value);
    bool ParityCheck() const { return parityCheck_; }
    void SetParityCheck(bool value);
    TVaDatabits Databits() const { return databits_; }
    void SetDatabits(TVaDatabits value);
    TVaStopbits Stopbits() const { return stopbits_; }
    void SetStopbits(TVaStopbits value);
    TVaEventChars* EventChars() { return eventChars_.get(); }
    void SetEventChars(const TVaEventChars& value) { eventChars_->Assign(value); }
    TVaFlowControl* FlowControl() { return flowControl_.get(); }
    void SetFlowControl(const TVaFlowControl& value) { flowControl_->Assign(value); }
    TVaCommOptions Options() const { return options_; }
    void SetOptions(TVaCommOptions value);
    TVaPortInt PortNum() const { return portNum_; }
    void SetPortNum(TVaPortInt value);
    QByteArray DeviceName() const { return deviceName_; }
    void SetDeviceName(const QByteArray& value);
    TVaCommEvents MonitorEvents() const { return monitorEvents_; }
    void SetMonitorEvents(TVaCommEvents value);
    TVaBuffers* Buffers() { return buffers_.get(); }
    void SetBuffers(const TVaBuffers& value);
    TThreadPriority EventPriority() const { return eventPriority_; }
    void SetEventPriority(TThreadPriority value);
    TThreadPriority WritePriority() const { return writePriority_; }
    void SetWritePriority(TThreadPriority value);
    bool DirectWrite() const { return directWrite_; }
    void SetDirectWrite(bool value);
    bool UpdateDCB() const { return updateDCB_; }
    void SetUpdateDCB(bool value);
    qint32 UserBaudrate() const { return userBaudrate_; }
    void SetUserBaudrate(qint32 value);
    bool LinksEnabled() const { return linksEnabled_; }
    void SetLinksEnabled(bool value) { linksEnabled_ = value; }
};
