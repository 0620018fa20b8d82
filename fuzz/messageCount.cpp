#include "messageCount.h"

#include "platform.h"

unsigned long shownMessageCount;

int showMessageBox(const char*)
{
    ++shownMessageCount;
    return 1;
}
