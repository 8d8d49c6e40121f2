#include "shell/UControlRules.h"

#include <QDir>

TControlStates ComputeControlStates(const TControlInputs& in) {
  TControlStates s;
  const bool kivo = in.Family == ANPR_KIVO;
  s.WebConfigEnabled = in.One;
  s.PanelIPADDRVisible = in.One && !kivo && in.HasMAC;
  s.PanelIPADDRKIVOVisible = in.One && kivo;
  s.DHCPEnabled = in.One;
  s.HostnameEnabled = in.One && in.Family == ANPR_KORDEX;
  s.MACEnabled = false;
  s.AddressFieldsEnabled = in.One && !in.DHCP;
  s.SetIPEnabled = in.Modified && !in.Invalid && !kivo;
  s.CancelIPEnabled = in.Modified;
  s.PanelUpdateV1Visible = in.One && in.Family == ANPR_KORDEX;
  s.PanelUpdateV2Visible = in.One && in.Family == ANPR_KORDEX_V2;
  s.UpdateV2Enabled = in.One && in.UpdateFileV2Exists;
  s.PanelUpdateKIVOVisible = in.One && kivo;
  s.UpdateKIVOEnabled = in.One && in.UpdateFileKIVOExists;
  return s;
}

QString ShortenPath(const QString& path, const TTextWidth& width, int maximum) {
  const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QDir::separator()));
  QString dir = path.left(cut + 1);
  const QString file = path.mid(cut + 1);
  QString marker;
  QString result = path;
  while ((!dir.isEmpty() || !marker.isEmpty()) && width(result) > maximum) {
    if (!dir.isEmpty()) {
      dir.chop(1);
      marker = QStringLiteral("...") + QDir::separator();
    } else {
      marker.clear();
    }
    result = dir + marker + file;
  }
  return result;
}

std::int32_t ANPRTypeFromStored(std::int32_t value) { return value & 0x7F; }

bool IsValidAddressPart(const QString& text) {
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  if (!ok) return true;  // read as 0
  return value >= 0 && value <= 255;
}

QString AddressFieldText(const QString& part) {
  bool ok = false;
  part.toInt(&ok, 10);
  return ok ? part : QStringLiteral("0");
}
