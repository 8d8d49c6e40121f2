#include "shell/USettingsFile.h"

#include "shell/UProfileFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

std::string Bytes(const QString& s) { return s.toStdString(); }
QString Text(const std::string& s) { return QString::fromStdString(s); }

QString WithSeparator(const QString& folder) {
  return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

}  // namespace

void TStoredSettings::Load(const QString& path) {
  const TProfileFile ini = TProfileFile::Load(Bytes(path));
  ANPRType = ini.ReadInteger("options", "anpr_type", 0);
  NetworkIF = Text(ini.ReadString("options", "network_if", Bytes(NetworkIF)));
  PuttyPath = Text(ini.ReadString("options", "puttypath", Bytes(PuttyPath)));
  UpdateFileV2 = Text(ini.ReadString("update_v2", "filename", Bytes(UpdateFileV2)));
  UpdateFileKIVO = Text(ini.ReadString("update_kivo", "filename", Bytes(UpdateFileKIVO)));
  UserName = Text(ini.ReadString("update_kivo", "username", ""));
  Password = Text(ini.ReadString("update_kivo", "password", ""));
}

void TStoredSettings::Save(const QString& path) const {
  TProfileFile ini = TProfileFile::Load(Bytes(path));
  ini.WriteInteger("options", "anpr_type", ANPRType);
  ini.WriteString("options", "network_if", Bytes(NetworkIF));
  ini.WriteString("options", "puttypath", Bytes(PuttyPath));
  ini.WriteString("update_v2", "filename", Bytes(UpdateFileV2));
  ini.WriteString("update_kivo", "filename", Bytes(UpdateFileKIVO));
  ini.WriteString("update_kivo", "username", Bytes(UserName));
  ini.WriteString("update_kivo", "password", Bytes(Password));
  QDir().mkpath(QFileInfo(path).absolutePath());
  ini.Save(Bytes(path));
}

QString SettingsFilePath(const QString& executablePath) {
  const QFileInfo exe(executablePath);
  const QString name = exe.completeBaseName() + QStringLiteral(".ini");
  const QString beside = exe.absoluteDir().filePath(name);
  const QFileInfo file(beside);
  const bool writable = file.exists() ? file.isWritable() : QFileInfo(exe.absolutePath()).isWritable();
  if (writable) return beside;
  const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  return QDir(config.isEmpty() ? QDir::homePath() : config).filePath(name);
}

QString DefaultToolFolder(const QString& executableFolder) {
  const QString own = WithSeparator(executableFolder);
  if (QFileInfo(own + QStringLiteral("plink")).isExecutable()) return own;
  const QString onPath = QStandardPaths::findExecutable(QStringLiteral("plink"));
  if (!onPath.isEmpty()) return WithSeparator(QFileInfo(onPath).absolutePath());
  return own;
}
