#include "printer/Sequence.h"

namespace {

qint32 secuencia = 0;
quint32 randomState = 0;

constexpr quint32 RandMultiplier = 134775813; // 0x08088405
constexpr qint32 LowestSequence = 32;
constexpr qint32 HighestSequence = 70;
constexpr int SequenceDrawRange = 80;

} // namespace

qint32 Secuencia()
{
    return secuencia;
}

void SetSecuencia(qint32 value)
{
    secuencia = value;
}

quint32 RandomState()
{
    return randomState;
}

void SetRandomState(quint32 value)
{
    randomState = value;
}

int Random(int range)
{
    randomState = randomState * RandMultiplier + 1;
    return int((quint64(randomState) * quint32(range)) >> 32);
}

qint32 SiguienteSecuencia()
{
    // Wraps instead of overflowing if someone stored the largest value.
    secuencia = qint32(quint32(secuencia) + 1);
    while (secuencia < LowestSequence || secuencia > HighestSequence)
        secuencia = Random(SequenceDrawRange);
    return secuencia;
}
