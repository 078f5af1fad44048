#include "printer/LinkState.h"

namespace {

bool respuestaCompleta = false;
bool impresorEncontrado = false;

} // namespace

bool RespuestaCompleta()
{
    return respuestaCompleta;
}

void SetRespuestaCompleta(bool value)
{
    respuestaCompleta = value;
}

bool ImpresorEncontrado()
{
    return impresorEncontrado;
}

void SetImpresorEncontrado(bool value)
{
    impresorEncontrado = value;
}
