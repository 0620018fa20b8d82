#include <cstdarg>
#include <cstdio>

#include "library.h"
#include "platform.h"

int showError(const char* format, ...)
{
    char message[1024];
    va_list values;
    va_start(values, format);
    std::vsnprintf(message, sizeof message, format, values);
    va_end(values);
    return showMessageBox(message);
}
