// The program-wide files of the program folder: the settings store
// ("Application4.cfg") and the language texts ("Application.flf") are
// loaded before the main window is made; after the message loop the
// settings are saved and every plug-in is unloaded.
#pragma once
#include <string>

void LoadProgramFiles(const std::string& folder);
// False when the settings could not be written.
bool SaveProgramFiles(const std::string& folder);
