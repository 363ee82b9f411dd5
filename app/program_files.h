// The program-wide files of the program folder: the settings store
// ("Application4.cfg") and the language texts ("Application.flf") are
// loaded before the main window is made; after the message loop the
// settings are saved and every plug-in is unloaded. The settings are also
// written whenever the user has set them (the setup wizard's Finish, the
// settings dialog's OK) and when Windows ends the session, so that a
// crash or a session end never loses them.
#pragma once
#include <string>

void LoadProgramFiles(const std::string& folder);
// Writes the settings store to "Application4.cfg" (through a temporary
// file that replaces the old one when complete); false when it cannot.
bool SaveSettingsFile(const std::string& folder);
// False when the settings could not be written.
bool SaveProgramFiles(const std::string& folder);
