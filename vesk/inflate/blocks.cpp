#include "../library.h"
#include "inflate.h"

int inflateEntry()
{
    showError(" Bad Table ");
    return 0;
}
