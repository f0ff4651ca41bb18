// SPDX-License-Identifier: MIT
// Started by the shell-action test under a name of its choosing: exits with 42, so the test knows
// this very file was started.
int main() {
    return 42;
}
