// The settings that ormid-cli shares with the ORMID program, read without Qt:
// the store's file and the values of its section "Settings", in the file's
// own escapes (keys with %XX, values quoted and with backslash escapes).
#pragma once

#include <string>

// ~/.config/Tarlex/ORMID.conf, after XDG_CONFIG_HOME; empty without a home.
std::string SettingsFilePath();
// The text stored under key in the section "Settings"; empty when there is none.
std::string ReadProgramSetting(const std::string& key);
// The same from the text of a settings file.
std::string SettingFromText(const std::string& text, const std::string& key);

// An environment variable's text, empty when it is not set.
std::string Env(const char* name);
// A folder path ending with '/' (an empty one stays empty).
std::string WithSlash(std::string folder);
