#pragma once

// Process-wide flags of the printer link, false at start.

// The reply text holds an ETX. The send clears it before each frame; the poll tick sets it.
bool RespuestaCompleta();
void SetRespuestaCompleta(bool value);

// The last printer search found a printer.
bool ImpresorEncontrado();
void SetImpresorEncontrado(bool value);
