#pragma once

#include "printer/PortRefusals.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>
#include <optional>

class TTrafficRecord;
class TVaComm;

// How a search of the ports ended.
struct TSearchResult
{
    bool Found = false;
    // Told to stop (StopRequested) before a printer was found or the last port was tried.
    bool Stopped = false;
    int Com = 0;                 // the port of the printer found
    QByteArray SerialNumber;     // read from its status reply
    QList<PortRefusal> Refusals; // ports that exist but refused to open, in order
};

// The session with the printer on one serial port: it owns the port and the printer's reply,
// frames and sends the commands, collects the reply and searches COM1..COM20 for a printer. It
// uses Qt Core only, so any front end can drive it; front ends show what its signals report.
//
// The reply comes in through Poll, which the front end calls from its own poll tick (a TTimer
// of PollIntervalMs that runs while the program does): the waits of Send let the event loop run,
// so the tick collects the reply while Send waits. Every write, read and step of the search goes
// to the traffic record given at construction.
//
// The flags RespuestaCompleta and ImpresorEncontrado (LinkState.h) and the sequence value
// (Sequence.h) are process-wide; the link is their only writer.
class TPrinterLink : public QObject
{
    Q_OBJECT
public:
    static constexpr int PollIntervalMs = 1000;
    static constexpr int FirstCom = 1;
    static constexpr int LastCom = 20;

    // The port starts closed, set to 9600 baud without flow control, on COM2.
    explicit TPrinterLink(TTrafficRecord& traffic, QObject* parent = nullptr);

    TVaComm* Port() const { return port_; }

    // Opens the port on COMn (the device of DevicePathFor, ORVALEN_COM_DIR respected) or on a
    // device file given by its path, closing it first. Raises the port's error when it refuses.
    void OpenCom(int com);
    void OpenDevice(const QByteArray& path);

    // The exchange: frames the payload with the next sequence value, clears the reply, writes
    // the frame, then waits for an ETX in the reply (at most 30 s) and a settling pause of 2 s,
    // letting the event loop run. Returns whether the reply ended (ETX). A Send started from
    // inside the waits (a click, a timer) clears the reply: this Send then goes on with that
    // command's reply. The port's errors are raised.
    bool Send(const QByteArray& payload);

    // The poll tick: when the port is open, takes what it received into the reply (see
    // AppendedReply) and marks the reply complete once it holds an ETX.
    void Poll();

    // Writes bytes without a frame (in one write, or one byte per write), as the reset
    // sequence goes out, and tells the traffic record.
    void Write(const QByteArray& bytes, bool byteByByte);

    // Tries COM1..COM20 in turn: opens the port, sends the status request and waits for its
    // reply (plus 3.456 s more); the first port that answers with an ETX is the printer's, and
    // the port stays open on it. A port that refuses to open is skipped; an error closing the
    // port ends the search by raising it. StopRequested is asked before each port.
    TSearchResult Search();
    std::function<bool()> StopRequested = [] { return false; };

    // How strictly replies are read. Left empty, as the window leaves it, any ETX ends an
    // exchange and the search takes the first port that answers. A front end that runs without
    // anyone watching sets AnswerOf (AnswerTo of Reply.h): then what is left in the port from an
    // earlier exchange is dropped before each frame goes out, an exchange and the search's wait
    // end only on the answer AnswerOf finds for the frame, and the serial number is read from it.
    std::function<std::optional<QByteArray>(const QByteArray& frame, const QByteArray& reply)>
        AnswerOf;
    // The search takes COMn only when this accepts the status reply there (Reply(), LastFrame());
    // empty: any port that answered.
    std::function<bool(int com)> SearchAccepts;
    // The frame the last Send wrote.
    const QByteArray& LastFrame() const { return lastFrame_; }

    // The reply as collected since the last Send.
    const QByteArray& Reply() const { return reply_; }
    // Puts a reply in place of the one collected (a front end whose user edits the reply shown).
    void SetReply(const QByteArray& bytes);
    bool ReplyComplete() const;

    // The serial number and port of the printer the last search found (empty and 0 when none).
    const QByteArray& SerialNumber() const { return serialNumber_; }
    int FoundCom() const { return foundCom_; }

signals:
    // The search is about to open COMn (before the port is touched: opening or waiting may
    // take a while).
    void PortTried(int com);
    // COMn exists but refused to open.
    void PortRefused(const PortRefusal& refusal);
    void PrinterFound(int com, const QByteArray& serialNumber);
    // No port up to COM20 answered (not sent when told to stop).
    void PrinterNotFound();
    // The reply changed: cleared by a send, bytes taken in by a poll tick, or SetReply.
    void ReplyChanged(const QByteArray& reply);

private:
    // Closes the port on the link's own account: only other closes are a lost device.
    void ClosePort();
    // "COM3", or the device file the port was opened on.
    QString PortLabel() const;
    // Whether the reply collected so far answers the last frame (see AnswerOf).
    bool Answered() const;
    // Reads and drops what the port holds, telling the traffic record.
    void DropStaleInput();

    TTrafficRecord& traffic_;
    TVaComm* port_;
    QByteArray reply_;
    QByteArray lastFrame_;
    QByteArray serialNumber_;
    int foundCom_ = 0;
    bool closing_ = false;
};
