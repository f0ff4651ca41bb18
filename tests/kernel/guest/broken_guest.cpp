// SPDX-License-Identifier: MIT
// A guest program that goes wrong on purpose: it reports a failed step and then hangs, so that the
// boot script's verdict can be checked (it must see the failure, the hang and the missing end marker).

#include "GuestChecks.h"

#include <unistd.h>

int main()
{
    krv::guest::GuestChecks checks;
    checks.check(true, "broken guest started");
    checks.check(false, "deliberate failure", "reported on purpose");
    for (;;) {
        ::pause();
    }
}
