#pragma once

#include <QString>

// The terminal's settings file "Norvalk.INI" in the user's documents folder.
// Each procedure opens the file, does one read or write and lets it go, so a
// change made by another window or by hand is seen by the next read.
//
// Reads give the default when the file, the section or the key is missing;
// whole-number reads also when the value is not a whole number. Booleans are
// written as 1 and 0, and any non-zero number reads as true. Writes create
// the file and throw ClientError when it cannot be written.

QString SettingsFilePath();

QString IniReadString(const QString& section, const QString& key, const QString& defaultValue);
void IniWriteString(const QString& section, const QString& key, const QString& value);
int IniReadInteger(const QString& section, const QString& key, int defaultValue);
void IniWriteInteger(const QString& section, const QString& key, int value);
bool IniReadBool(const QString& section, const QString& key, bool defaultValue);
void IniWriteBool(const QString& section, const QString& key, bool value);
