#pragma once

#include <QtGlobal>

// The sequence value of the frames and its pseudo-random generator. Both are process-wide and
// start at 0; nothing seeds the generator, so every run draws the same series.

// The sequence value of the last frame built (32..70 after the first send).
qint32 Secuencia();
void SetSecuencia(qint32 value);

// State of the generator.
quint32 RandomState();
void SetRandomState(quint32 value);

// Draws a value in 0..range-1: a linear congruential step, then the high 32 bits of
// state * range.
int Random(int range);

// Advances the sequence value before a frame and returns it: one more than the last, or a fresh
// draw while it lies outside 32..70.
qint32 SiguienteSecuencia();
