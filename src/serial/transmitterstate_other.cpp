#include "serial/transmitterstate.h"

std::optional<bool> transmitterEmpty(LineHandle)
{
    return std::nullopt;
}
