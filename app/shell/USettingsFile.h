// The program's settings file: where it lies and the seven values it carries between runs.
#pragma once

#include <QString>
#include <cstdint>

struct TStoredSettings final {
  std::int32_t ANPRType = 0;
  QString NetworkIF;
  QString PuttyPath;
  QString UpdateFileV2;
  QString UpdateFileKIVO;
  QString UserName;
  QString Password;

  // Reads the seven keys in order. Absent keys give 0 for the family, empty user and password,
  // and keep the current value of the other texts. Throws std::runtime_error when the file
  // exists but cannot be read.
  void Load(const QString& path);
  // Writes the seven keys in order, leaving every other line of the file as it was. Throws
  // std::runtime_error when the file cannot be written.
  void Save(const QString& path) const;
};

// The settings file beside the executable: its path with the extension ".ini". When the
// executable's folder cannot be written, the file of that name in the user's configuration
// folder instead.
QString SettingsFilePath(const QString& executablePath);

// Default folder of the SSH tools: the executable's folder when plink lies there, otherwise
// the folder where plink is found on PATH, otherwise the executable's folder again. Always
// ends with a path separator.
QString DefaultToolFolder(const QString& executableFolder);
