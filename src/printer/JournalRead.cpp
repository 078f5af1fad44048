// Reading the journal a line at a time, forwards for `history`, backwards from its end for
// `z --if-due`: neither holds more than one line and one block, whatever the journal's size.
#include "printer/Journal.h"

#include "printer/JournalSnapshot.h"

#include <QJsonDocument>

#include <algorithm>

namespace {

constexpr qsizetype BlockBytes = 64 * 1024;

std::optional<JobRecord> Parsed(const QByteArray& line)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return JobRecord::FromJson(document.object());
}

bool Blank(const QByteArray& line)
{
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

} // namespace

QString Journal::Read(const Visit& visit) const
{
    const JournalSnapshot snapshot(path_);
    if (!snapshot.IsOpen())
        return snapshot.Error();
    QString error;
    QByteArray line;
    bool overlong = false; // the line is longer than MaxLineBytes: only its end is looked for
    qint64 number = 0;
    // One line ended: handed on, unless blank. False when the visitor stops.
    auto ended = [&] {
        ++number;
        bool goOn = true;
        if (overlong)
            goOn = visit(number, std::nullopt);
        else if (!Blank(line))
            goOn = visit(number, Parsed(line));
        line.truncate(0); // keeps the room for the next line
        overlong = false;
        return goOn;
    };
    auto take = [&](const char* bytes, qsizetype size) {
        if (overlong)
            return;
        if (line.size() + size > MaxLineBytes) {
            overlong = true;
            line.clear();
            return;
        }
        line.append(bytes, size);
    };
    for (qint64 offset = 0; offset < snapshot.Size();) {
        const std::optional<QByteArray> block = snapshot.ReadAt(
            offset, qsizetype(std::min<qint64>(BlockBytes, snapshot.Size() - offset)), error);
        if (!block)
            return error;
        if (block->isEmpty())
            break;
        offset += block->size();
        qsizetype from = 0;
        for (qsizetype newline; (newline = block->indexOf('\n', from)) >= 0; from = newline + 1) {
            take(block->constData() + from, newline - from);
            if (!ended())
                return {};
        }
        take(block->constData() + from, block->size() - from);
    }
    // The last line without its newline: a writer that died in the middle of it.
    if (overlong || !line.isEmpty())
        ended();
    return {};
}

QString Journal::ReadBackward(const Visit& visit) const
{
    const JournalSnapshot snapshot(path_);
    if (!snapshot.IsOpen())
        return snapshot.Error();
    QString error;
    QByteArray carry;      // the start of a line that began in an earlier block, not yet read
    bool overlong = false; // that line is longer than MaxLineBytes: only its start is looked for
    auto ended = [&](const QByteArray& line) {
        if (overlong) {
            overlong = false;
            return visit(0, std::nullopt);
        }
        return Blank(line) || visit(0, Parsed(line));
    };
    for (qint64 end = snapshot.Size(); end > 0;) {
        const qint64 start = std::max<qint64>(0, end - BlockBytes);
        std::optional<QByteArray> block = snapshot.ReadAt(start, qsizetype(end - start), error);
        if (!block)
            return error;
        if (!overlong)
            block->append(carry);
        end = start;
        qsizetype cut = block->size(); // the lines after it are handed on
        qsizetype newline;
        while (cut > 0 && (newline = block->lastIndexOf('\n', cut - 1)) >= 0) {
            if (!ended(block->mid(newline + 1, cut - newline - 1)))
                return {};
            cut = newline;
        }
        if (!overlong) {
            carry = block->left(cut);
            if (carry.size() > MaxLineBytes) {
                overlong = true;
                carry.clear();
            }
        }
    }
    ended(carry);
    return {};
}

Journal::Contents Journal::ReadAll() const
{
    Contents contents;
    contents.Error = Read([&contents](qint64 line, const std::optional<JobRecord>& record) {
        if (record)
            contents.Records.append(*record);
        else
            contents.DamagedLines.append(int(line));
        return true;
    });
    return contents;
}

std::optional<JobRecord> RecentAnsweredZ(const Journal& journal, const QString& serial,
                                         const QDateTime& now, std::chrono::seconds within,
                                         QString& error)
{
    std::optional<JobRecord> found;
    error.clear();
    if (serial.isEmpty())
        return found;
    const QDateTime since = now.addSecs(-within.count());
    error = journal.ReadBackward([&](qint64, const std::optional<JobRecord>& record) {
        if (!record || record->Time > now)
            return true;
        // Lines are appended as jobs end: the ones before this are older still.
        if (record->Time <= since)
            return false;
        if (record->Command != QLatin1String("z") || record->Result != QLatin1String("answered") ||
            record->Serial != serial)
            return true;
        found = record;
        return false;
    });
    return found;
}
