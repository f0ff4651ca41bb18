// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"

namespace krv {

// What the main window's elements ask of the program around it (the companion implements it).
class MainWindowActions {
public:
    virtual ~MainWindowActions() = default;
    virtual void applyProfile() = 0;                      // top-bar element 3
    virtual void hideToTray() = 0;                        // elements 2 and 13
    virtual void minimize() = 0;                          // element 12
    virtual void restoreDefaults() = 0;                   // element 16
    virtual void switchLanguage(UiLanguage language) = 0; // elements 17 and 18
    virtual void openWebPage() = 0;                       // element 19
    virtual void startBlinkIfIdle() = 0;                  // the main page is shown again
};

// The child controls of the advanced page and its macro actions (the macro editor implements it).
class AdvancedPage {
public:
    virtual ~AdvancedPage() = default;
    // Creates the repeat-count edit, the name edit, the macro list and the event list, in that order.
    virtual void createControls() = 0;
    // Destroys them (repeat-count edit, name edit, macro list, event list).
    virtual void destroyControls() = 0;
    virtual bool controlsExist() const = 0;
    virtual void refillMacroList() = 0;
    // Advanced elements 0..7: import, export, add, delete, record, save, repeat, macro mode.
    virtual void action(int element) = 0;
};

} // namespace krv
