#include "serial/VaComm.h"

#include "serial/VaCommThreads.h"

#include "platform/DevicePath.h"
#include "platform/ErrorText.h"
#include "platform/LineEvents.h"
#include "runtime/ErrorReport.h"
#include "runtime/Format.h"
#include "runtime/TimeBase.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <system_error>

namespace {

constexpr quint32 Speeds[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                              14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

constexpr quint32 EventMasks[] = {
    CommEv::Break,    CommEv::Cts,    CommEv::Dsr,     CommEv::Err,    CommEv::Ring,
    CommEv::Rlsd,     CommEv::RxChar, CommEv::TxEmpty, CommEv::RxFlag, CommEv::PErr,
    CommEv::Rx80Full, CommEv::Event1, CommEv::Event2,
};

// Flow-control limits follow the input queue: a quarter of it, at most 1024.
constexpr int MaxFlowLimit = 1024;

// Bytes held for the look for the event character: at least what a terminal's own input queue
// holds, also when ReadSize is smaller.
constexpr int MinHeldBytes = 4096;

constexpr char PortOpen[] = "Can't perform this operation while port is open";

} // namespace

quint32 BaudrateSpeed(TVaBaudrate value)
{
    return Speeds[static_cast<int>(value)];
}

quint32 CommEventMask(TVaCommEvent event)
{
    return EventMasks[static_cast<int>(event)];
}

QString SystemErrorText(int error)
{
    QString text = UserErrorText(error).left(255);
    while (!text.isEmpty()) {
        const QChar last = text.back();
        if (last.unicode() > 0x20 && last != QLatin1Char('.') &&
            last.category() != QChar::Other_Control)
            break;
        text.chop(1);
    }
    return text;
}

TVaCustomComm::TVaCustomComm(QObject* owner)
    : TVaComponent(owner), buffers_(std::make_unique<TVaBuffers>()),
      flowControl_(std::make_unique<TVaFlowControl>()),
      eventChars_(std::make_unique<TVaEventChars>())
{
    uiCalls_ = new UiCallTarget(this);
    // Queue sizes are taken by Open: a change while open cannot reach the device. The group
    // keeps the new value for the next Open.
    buffers_->OnChange = [this](TVaPersistent*) { CheckClosed(); };
    eventChars_->OnChange = [this](TVaPersistent*) { ApplyDCB(); };
    flowControl_->OnChange = [this](TVaPersistent*) { ApplyDCB(); };
}

TVaCustomComm::~TVaCustomComm()
{
    MarkDestroying();
    try {
        Close();
    } catch (...) {
        // Nothing can be reported from here; the device is closed by its own destructor.
    }
    // A close that raised may have left threads behind: none may outlive the port.
    StopThreads();
    JoinStoppedThreads();
    ClearLinks();
}

// --- open and close -----------------------------------------------------------------------

QByteArray TVaCustomComm::GetDeviceName() const
{
    return Format(QString::fromLatin1(deviceName_), {portNum_}).toLatin1();
}

void TVaCustomComm::OpenDevice()
{
    const QByteArray name = GetDeviceName();
    const std::optional<QByteArray> path = DevicePathFor(name);
    const int error = path ? device_.Open(*path) : SystemCode::NoSuchDevice;
    if (error == 0)
        return;
    // The messages show the name the user knows. It is put in once, after the error number and
    // text: a '%' in a device name must not be taken for a placeholder.
    if (error == SystemCode::NoSuchDevice)
        throw EVaCommError(Format(QStringLiteral("Specified device not found (%s)."), {name}),
                           error);
    throw EVaCommError(Format(QStringLiteral("Can't open specified device %s (Error %d, %s)"),
                              {name, error, SystemErrorText(error)}),
                       error);
}

void TVaCustomComm::CloseDevice()
{
    // No thread may be left polling or writing a descriptor number that the system can give to
    // the next file opened.
    JoinStoppedThreads();
    device_.Close();
    closes_.fetch_add(1);
    held_.clear();
    activity_.Held.store(0);
}

void TVaCustomComm::JoinStoppedThreads()
{
    for (const auto& thread : stoppedThreads_)
        thread->Join();
    stoppedThreads_.clear();
}

void TVaCustomComm::Open()
{
    CheckClosed();
    OpenDevice();
    opening_ = true;
    try {
        ApplyDCB();
        ApplyBuffers();
        ApplyTimeouts();
        ApplyEventMask();
        StartThreads();
    } catch (...) {
        opening_ = false;
        // A thread started before a later step failed must not outlive the device.
        try {
            std::lock_guard lock(ReadLock);
            StopThreads();
        } catch (...) {
        }
        CloseDevice();
        throw;
    }
    opening_ = false;
    DoOpen();
}

void TVaCustomComm::Close()
{
    if (!Active())
        return;
    {
        std::lock_guard lock(ReadLock);
        StopThreads();
    }
    CloseDevice();
    DoClose();
}

void TVaCustomComm::DoOpen()
{
    if (OnOpen)
        ReportErrors([this] { OnOpen(this); });
}

void TVaCustomComm::DoClose()
{
    if (!IsDestroying())
        Fire(OnClose, this);
}

void TVaCustomComm::Loaded()
{
    TVaComponent::Loaded();
    if (!IsDesigning() && autoOpen_)
        Open();
}

// --- configuration steps of Open ------------------------------------------------------------

void TVaCustomComm::ApplyBuffers()
{
    if (!Active())
        return;
    // The write thread's queue takes WriteSize too. A device that has vanished reports its error
    // at this step.
    CheckCommResult(device_.SetQueueSizes(buffers_->ReadSize(), buffers_->WriteSize()),
                    QStringLiteral("Error initializing buffers (%d), %s"));
}

void TVaCustomComm::ApplyTimeouts()
{
    if (!Active())
        return;
    // Raw mode comes with the timeouts, so that it holds also when UpdateDCB keeps the device's
    // speed, framing and flow control: a cooked terminal turns our ETX into an interrupt.
    CheckCommResult(device_.MakeRaw(), QStringLiteral("Error setting timeouts (%d), %s"));
}

void TVaCustomComm::ApplyEventMask()
{
    eventMask_ = 0;
    for (int e = ceBreak; e <= ceEvent2; ++e) {
        if (monitorEvents_.Contains(TVaCommEvent(e)))
            eventMask_ |= CommEventMask(TVaCommEvent(e));
    }
    // The write thread reports transmit-empty itself when its queue has drained.
    if (!directWrite_)
        eventMask_ &= ~CommEv::TxEmpty;
    if (Active()) {
        // The event thread sets the mask when it starts; here the device must be one that
        // reports line events at all.
        CheckCommResult(device_.CheckTerminal(),
                        QStringLiteral(" Error setting EventMask (%d), %s"));
    }
}

CommControlBlock TVaCustomComm::MakeControlBlock() const
{
    CommControlBlock dcb;
    dcb.BaudRate = baudrate_ == brUser ? quint32(userBaudrate_) : BaudrateSpeed(baudrate_);
    dcb.ByteSize = quint8(4 + databits_);
    dcb.Parity = quint8(parity_);
    dcb.StopBits = quint8(stopbits_);
    dcb.XonChar = eventChars_->XonChar();
    dcb.XoffChar = eventChars_->XoffChar();
    dcb.ErrorChar = eventChars_->ErrorChar();
    dcb.EvtChar = eventChars_->EventChar();
    dcb.EofChar = eventChars_->EofChar();
    // A negative queue size would wrap into a huge limit.
    const quint16 limit = quint16(std::clamp(buffers_->ReadSize() / 4, 0, MaxFlowLimit));
    dcb.XonLim = limit;
    dcb.XoffLim = limit;

    static constexpr quint32 DtrFlags[] = {0, DcbFlag::DtrEnable, DcbFlag::DtrHandshake};
    static constexpr quint32 RtsFlags[] = {0, DcbFlag::RtsEnable, DcbFlag::RtsHandshake,
                                           DcbFlag::RtsToggle};
    const TVaFlowControl& fc = *flowControl_;
    quint32 flags = DcbFlag::Binary;
    if (parityCheck_)
        flags |= DcbFlag::ParityCheck;
    if (fc.OutCtsFlow())
        flags |= DcbFlag::OutCtsFlow;
    if (fc.OutDsrFlow())
        flags |= DcbFlag::OutDsrFlow;
    flags |= DtrFlags[fc.ControlDtr()];
    if (fc.DsrSensitivity())
        flags |= DcbFlag::DsrSensitivity;
    if (fc.TxContinueOnXoff())
        flags |= DcbFlag::TxContinueOnXoff;
    if (fc.XonXoffOut())
        flags |= DcbFlag::XonXoffOut;
    if (fc.XonXoffIn())
        flags |= DcbFlag::XonXoffIn;
    if (options_.Contains(coErrorChar))
        flags |= DcbFlag::ErrorChar;
    if (options_.Contains(coNullStrip))
        flags |= DcbFlag::NullStrip;
    flags |= RtsFlags[fc.ControlRts()];
    dcb.Flags = flags;
    return dcb;
}

void TVaCustomComm::ApplyDCB()
{
    if (!Active() || !updateDCB_)
        return;
    if (const int error = device_.ApplyControlBlock(MakeControlBlock()))
        RaiseDeviceError(QStringLiteral("Error writing dcb (%d), %s"), error);
}

// --- errors ---------------------------------------------------------------------------------

void TVaCustomComm::CheckClosed() const
{
    if (Active())
        throw EVaCommError(QString::fromLatin1(PortOpen));
}

void TVaCustomComm::RaiseCommError(const QString& format, int error) const
{
    throw EVaCommError(Format(format, {error, SystemErrorText(error)}), error);
}

void TVaCustomComm::CheckCommResult(int error, const QString& format) const
{
    if (error != 0)
        RaiseCommError(format, error);
}

void TVaCustomComm::RaiseDeviceError(const QString& format, int error)
{
    // During Open the failed step's own clean-up closes the device, without OnClose.
    if (IsDeviceGone(error) && Active() && !opening_)
        DropLostDevice();
    RaiseCommError(format, error);
}

void TVaCustomComm::DropLostDevice()
{
    {
        std::lock_guard lock(ReadLock);
        try {
            StopThreads();
        } catch (...) {
        }
    }
    CloseDevice();
    // The error about to be raised is what the caller must see; a failing OnClose is shown.
    if (!IsDestroying() && OnClose)
        ReportErrors([this] { OnClose(this); });
}

// --- writing and reading --------------------------------------------------------------------

int TVaCustomComm::WriteBuf(const char* data, int count)
{
    if (!Active())
        return 0;
    if (!directWrite_) {
        if (!QueueWrite(data, count))
            throw EVaCommError(QStringLiteral("Output buffer is full. Please check comm status."));
        return count;
    }
    if (count <= 0)
        return 0;
    std::lock_guard lock(WriteLock);
    bool completed = false;
    const int error =
        device_.Write(data, count, TimeBase::RealMs(buffers_->ReadTimeout()), completed);
    if (error != 0)
        RaiseDeviceError(QStringLiteral("Write error (%d), %s"), error);
    activity_.Writes.fetch_add(1);
    if (EventThread && (eventMask_ & CommEv::TxEmpty))
        EventThread->WriteFinished();
    return completed ? count : 0;
}

bool TVaCustomComm::WriteText(const QByteArray& text)
{
    return WriteBuf(text.constData(), int(text.size())) == text.size();
}

bool TVaCustomComm::WriteChar(char c)
{
    return WriteBuf(&c, 1) == 1;
}

int TVaCustomComm::ReadBuf(char* dest, int count)
{
    if (!Active())
        return 0;
    std::lock_guard lock(ReadLock);
    int got = 0;
    if (HoldsArrivals()) {
        // Every byte passes through held_, so that none escapes the look for the event
        // character; one that comes with this read is announced once this read is over.
        // An event character from before a Close is no news to the next Open.
        if (TakeArrivals() != 0) {
            UiCall::Send(uiCalls_, [this, closedBefore = closes_.load()] {
                if (Active() && closes_.load() == closedBefore)
                    ReportErrors([this] { HandleEvents(CommEv::RxFlag); });
            });
        }
        got = int(std::min<qsizetype>(std::max(count, 0), held_.size()));
        std::copy_n(held_.constData(), got, dest);
        held_.remove(0, got);
        activity_.Held.store(quint32(held_.size()));
    } else {
        if (const int error = device_.Read(dest, count, got))
            RaiseDeviceError(QStringLiteral("Read error (%d), %s"), error);
        // Counted after the read: the event thread may see the sum lag, never run ahead.
        activity_.BytesRead.fetch_add(quint64(got));
    }
    NoteLeftAfterRead();
    return got;
}

bool TVaCustomComm::HoldsArrivals() const
{
    return (eventMask_ & CommEv::RxFlag) && !LineWatch::SeesEventChar();
}

quint32 TVaCustomComm::TakeArrivals()
{
    std::lock_guard lock(ReadLock);
    if (!Active())
        return 0;
    // Held bytes are bounded like the device's own queue: with nobody reading, the rest waits
    // in the device (where flow control sees it) and is looked at once there is room.
    const int room = std::max(buffers_->ReadSize(), MinHeldBytes) - int(held_.size());
    if (room <= 0)
        return 0;
    const qsizetype before = held_.size();
    held_.resize(before + room);
    int got = 0;
    const int error = device_.Read(held_.data() + before, room, got);
    held_.resize(before + got);
    if (error != 0)
        RaiseDeviceError(QStringLiteral("Read error (%d), %s"), error);
    activity_.Held.store(quint32(held_.size()));
    activity_.BytesRead.fetch_add(quint64(got));
    return held_.indexOf(char(eventChars_->EventChar()), before) >= 0 ? CommEv::RxFlag : 0;
}

void TVaCustomComm::NoteLeftAfterRead()
{
    if (!(eventMask_ & CommEv::Rx80Full) || !Active())
        return;
    quint32 input = 0, output = 0;
    if (device_.QueueCounts(input, output) != 0)
        return;
    const quint32 left = input + quint32(held_.size());
    quint32 lowest = activity_.LowestLeft.load();
    while (left < lowest && !activity_.LowestLeft.compare_exchange_weak(lowest, left)) {
    }
}

int TVaCustomComm::ReadBufUsed()
{
    if (!Active())
        return 0;
    TVaCommStatus status;
    GetCommStatus(status);
    return int(std::min<quint32>(status.Status.cbInQue, 0x7fffffff));
}

QByteArray TVaCustomComm::ReadText()
{
    const int n = ReadBufUsed();
    if (n <= 0)
        return {};
    QByteArray text(n, '\0');
    text.truncate(ReadBuf(text.data(), n));
    return text;
}

void TVaCustomComm::GetCommStatus(TVaCommStatus& status)
{
    std::lock_guard lock(ReadLock);
    status = TVaCommStatus{};
    if (!Active())
        return;
    int error = device_.TakeLineErrors(status.Errors);
    if (error == 0)
        error = device_.QueueCounts(status.Status.cbInQue, status.Status.cbOutQue);
    if (error != 0)
        RaiseDeviceError(QStringLiteral("Error retrieving statistics (%d), %s"), error);
    status.Status.cbInQue += quint32(held_.size());
}

bool TVaCustomComm::CheckErrors()
{
    TVaCommStatus status;
    GetCommStatus(status);
    if (status.Errors == 0)
        return false;
    if (OnError)
        ReportErrors([&] { OnError(this, int(status.Errors)); });
    return true;
}

// --- threads and event dispatch -------------------------------------------------------------

void TVaCustomComm::StartThreads()
{
    // Threads and their events take descriptors and memory; running out of either is a port
    // error like any other step of Open.
    try {
        StartThreadsOrThrow();
    } catch (const std::system_error& e) {
        RaiseCommError(QStringLiteral("Error creating threads (%d), %s"), e.code().value());
    } catch (const std::bad_alloc&) {
        RaiseCommError(QStringLiteral("Error creating threads (%d), %s"), SystemCode::OutOfMemory);
    }
}

void TVaCustomComm::StartThreadsOrThrow()
{
    // The threads get the port's parts they work with; the event handling they hand over
    // runs on this object's thread, where a derived port's handlers apply.
    const TVaCommThreadPort port{this, uiCalls_, [this](quint32 mask) { HandleEvents(mask); }};
    if (eventMask_ != 0) {
        // "80 % full" is past four fifths of the input queue: of ReadSize, but no more than the
        // driver holds, or the mark is never reached. Holding the arrivals, this object keeps
        // ReadSize bytes of its own in front of the driver's.
        const int readSize = std::max(buffers_->ReadSize(), 0);
        const int holds = HoldsArrivals() ? readSize : SerialDevice::InputCapacity(readSize);
        const quint32 rxLimit = quint32(holds) * 4 / 5;
        std::function<quint32()> takeArrivals;
        if (HoldsArrivals())
            takeArrivals = [this] { return TakeArrivals(); };
        auto thread = std::make_shared<TVaCommEventThread>(port, device_, eventMask_, activity_,
                                                           rxLimit, std::move(takeArrivals),
                                                           [this] { HandleRxChar(); });
        thread->SetPriority(eventPriority_);
        thread->Start();
        EventThread = std::move(thread);
    }
    if (!directWrite_) {
        auto thread = std::make_shared<TVaCommWriteThread>(port, device_, WriteLock, *buffers_);
        thread->SetPriority(writePriority_);
        thread->Start();
        WriteThread = std::move(thread);
    }
}

void TVaCustomComm::StopThreads()
{
    if (EventThread) {
        EventThread->Stop();
        stoppedThreads_.push_back(std::move(EventThread));
        EventThread.reset();
    }
    if (WriteThread) {
        WriteThread->Stop();
        stoppedThreads_.push_back(std::move(WriteThread));
        WriteThread.reset();
    }
}

void TVaCustomComm::UpdateThreadPriorities()
{
    if (EventThread)
        EventThread->SetPriority(eventPriority_);
    if (WriteThread)
        WriteThread->SetPriority(writePriority_);
}

bool TVaCustomComm::QueueWrite(const char* data, int count)
{
    return WriteThread && WriteThread->Queue(data, count);
}

void TVaCustomComm::HandleRxChar()
{
    const int n = ReadBufUsed();
    if (n <= 0)
        return;
    if (!links_.isEmpty()) {
        QByteArray block(n, Qt::Uninitialized);
        const int got = ReadBuf(block.data(), n);
        DoRxBuf(block.constData(), got);
        return;
    }
    // Without listeners the bytes stay in the input queue for ReadText.
    Fire(OnRxChar, this, n);
}

void TVaCustomComm::HandleEvents(quint32 mask)
{
    if (mask & CommEv::Err)
        CheckErrors();
    if (!links_.isEmpty())
        NotifyLinks(mask);
    const std::pair<quint32, TNotifyEvent*> order[] = {
        {CommEv::RxFlag, &OnRxFlag}, {CommEv::Cts, &OnCts},       {CommEv::Dsr, &OnDsr},
        {CommEv::Ring, &OnRing},     {CommEv::Rlsd, &OnRlsd},     {CommEv::TxEmpty, &OnTxEmpty},
        {CommEv::Break, &OnBreak},   {CommEv::PErr, &OnPErr},     {CommEv::Rx80Full, &OnRx80Full},
        {CommEv::Event1, &OnEvent1}, {CommEv::Event2, &OnEvent2},
    };
    for (const auto& [bit, handler] : order) {
        if ((mask & bit) && *handler)
            (*handler)(this);
    }
}

void TVaCustomComm::NotifyLinks(quint32 mask)
{
    if (!linksEnabled_)
        return;
    // A listener may detach itself or others from its handler: walk a copy, skip the gone.
    const QList<TVaCommLink*> links = links_;
    for (TVaCommLink* link : links) {
        if (links_.contains(link) && link->Enabled())
            Fire(link->OnCommEvent, mask);
    }
}

void TVaCustomComm::DoRxBuf(PVaData data, int count)
{
    if (linksEnabled_) {
        const QList<TVaCommLink*> links = links_;
        for (TVaCommLink* link : links) {
            if (links_.contains(link) && link->Enabled())
                Fire(link->OnRxBuf, data, count);
        }
    }
    Fire(OnRxBuf, this, data, count);
}

void TVaCustomComm::AddLink(TVaCommLink* link)
{
    if (!link || links_.contains(link))
        return;
    if (link->comm_)
        link->comm_->RemoveLink(link);
    link->comm_ = this;
    links_.append(link);
}

void TVaCustomComm::RemoveLink(TVaCommLink* link)
{
    if (!links_.removeOne(link))
        return;
    link->comm_ = nullptr;
}

void TVaCustomComm::ClearLinks()
{
    while (!links_.isEmpty())
        RemoveLink(links_.last());
}

TVaCommLink::~TVaCommLink()
{
    if (comm_)
        comm_->RemoveLink(this);
}

// --- published setters ----------------------------------------------------------------------

void TVaComm::SetBaudrate(TVaBaudrate value)
{
    if (baudrate_ == value)
        return;
    baudrate_ = value;
    if (value != brUser)
        userBaudrate_ = 0;
    ApplyDCB();
}

void TVaComm::SetParity(TVaParity value)
{
    if (parity_ == value)
        return;
    parity_ = value;
    ApplyDCB();
}

void TVaComm::SetParityCheck(bool value)
{
    if (parityCheck_ == value)
        return;
    parityCheck_ = value;
    ApplyDCB();
}

void TVaComm::SetDatabits(TVaDatabits value)
{
    if (databits_ == value)
        return;
    databits_ = value;
    ApplyDCB();
}

void TVaComm::SetStopbits(TVaStopbits value)
{
    if (stopbits_ == value)
        return;
    stopbits_ = value;
    ApplyDCB();
}

void TVaComm::SetOptions(TVaCommOptions value)
{
    if (options_ == value)
        return;
    options_ = value;
    ApplyDCB();
}

void TVaComm::SetPortNum(TVaPortInt value)
{
    CheckClosed();
    portNum_ = value;
}

void TVaComm::SetDeviceName(const QByteArray& value)
{
    CheckClosed();
    deviceName_ = value;
}

void TVaComm::SetMonitorEvents(TVaCommEvents value)
{
    CheckClosed();
    monitorEvents_ = value;
}

void TVaComm::SetBuffers(const TVaBuffers& value)
{
    CheckClosed();
    buffers_->Assign(value);
}

void TVaComm::SetEventPriority(TThreadPriority value)
{
    if (eventPriority_ == value)
        return;
    eventPriority_ = value;
    UpdateThreadPriorities();
}

void TVaComm::SetWritePriority(TThreadPriority value)
{
    if (writePriority_ == value)
        return;
    writePriority_ = value;
    UpdateThreadPriorities();
}

void TVaComm::SetDirectWrite(bool value)
{
    CheckClosed();
    directWrite_ = value;
}

void TVaComm::SetUpdateDCB(bool value)
{
    CheckClosed();
    updateDCB_ = value;
}

void TVaComm::SetUserBaudrate(qint32 value)
{
    if (userBaudrate_ == value)
        return;
    userBaudrate_ = value;
    baudrate_ = brUser;
    ApplyDCB();
}
