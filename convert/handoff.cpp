// SPDX-License-Identifier: GPL-3.0-or-later
#include "handoff.h"

std::mutex &handOffLock()
{
    static std::mutex lock;
    return lock;
}
