#include "stream_io.hpp"

bool close_output(std::FILE* out)
{
    const bool flushed = std::fflush(out) == 0 && std::ferror(out) == 0;
    const bool closed = std::fclose(out) == 0;
    return flushed && closed;
}
