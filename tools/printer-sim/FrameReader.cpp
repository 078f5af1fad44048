#include "FrameReader.h"

#include "Wire.h"

namespace printersim {

namespace {

bool IsResetByte(unsigned char b)
{
    return b >= 0x07 && b <= 0x19;
}

bool IsCheckDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

} // namespace

std::vector<Received> FrameReader::Feed(std::string_view bytes)
{
    std::vector<Received> out;
    for (char c : bytes)
        Take(c, out);
    return out;
}

std::optional<Received> FrameReader::Abandon()
{
    if (state_ == State::Idle)
        return std::nullopt;
    std::vector<Received> out;
    Refuse("incomplete frame", out);
    return out.front();
}

void FrameReader::Take(char c, std::vector<Received>& out)
{
    const auto b = static_cast<unsigned char>(c);
    switch (state_) {
    case State::Idle:
        if (c == Stx) {
            raw_.assign(1, c);
            payload_.clear();
            state_ = State::Sequence;
        } else {
            Append(IsResetByte(b) ? Received::Kind::ResetByte : Received::Kind::Noise, c, out);
        }
        return;
    case State::Sequence:
        if (b < 0x20 || b > 0x7E) {
            // Not a sequence byte: the STX was noise or the start of a fresh attempt, so the byte
            // is looked at again on its own.
            Refuse("bad sequence byte", out);
            Take(c, out);
            return;
        }
        raw_ += c;
        seq_ = c;
        state_ = State::Payload;
        return;
    case State::Payload:
        raw_ += c;
        if (c == Etx) {
            expected_ = CheckDigits(ByteSum(raw_));
            check_.clear();
            state_ = State::Check;
        } else if (payload_.size() == MaxPayload) {
            Refuse("frame too long", out);
        } else {
            payload_ += c;
        }
        return;
    case State::Check:
        if (!IsCheckDigit(c)) {
            Refuse("check digits cut short, expected " + expected_, out);
            Take(c, out);
            return;
        }
        raw_ += c;
        check_ += c;
        if (check_.size() < expected_.size())
            return;
        if (check_ != expected_) {
            Refuse("bad check digits, expected " + expected_, out);
        } else if (payload_.empty()) {
            Refuse("no command", out);
        } else {
            Received frame;
            frame.kind = Received::Kind::Frame;
            frame.raw = std::move(raw_);
            frame.seq = seq_;
            frame.payload = std::move(payload_);
            out.push_back(std::move(frame));
            raw_.clear();
            payload_.clear();
            state_ = State::Idle;
        }
        return;
    }
}

void FrameReader::Refuse(std::string problem, std::vector<Received>& out)
{
    Received bad;
    bad.kind = Received::Kind::BadFrame;
    bad.raw = std::move(raw_);
    bad.problem = std::move(problem);
    out.push_back(std::move(bad));
    raw_.clear();
    payload_.clear();
    state_ = State::Idle;
}

void FrameReader::Append(Received::Kind kind, char c, std::vector<Received>& out)
{
    if (out.empty() || out.back().kind != kind) {
        Received r;
        r.kind = kind;
        out.push_back(std::move(r));
    }
    out.back().raw += c;
}

} // namespace printersim
