// Types that the whole program shares: the camera family and one camera's record.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

enum TANPRType : std::uint8_t {
  ANPR_ANY = 0,
  ANPR_KORDEX = 1,
  ANPR_KORDEX_V2 = 2,
  ANPR_KIVO = 3,
};

// One camera as the back-ends hand it to the device table.
struct TNetWorkInfo final {
  TANPRType ANPRType = ANPR_ANY;
  std::int32_t SerialNumber = 0;
  bool DHCP = false;
  QString MACAddress;
  QString IPAddress;
  QString NetMask;
  QString Gateway;
  QString HostName;
  QString Description;

  void Reset();
  bool operator==(const TNetWorkInfo&) const = default;
};

// Row texts of the camera-family list; row i stands for the family of value i.
const QStringList& ANPRTypeTexts();

// The family whose row text equals the text, or -1 when no row has it.
int ANPRTypeFromText(const QString& text);

// The application title: window captions and dialog titles start with it.
inline constexpr char ApplicationTitle[] = "TOVRA VISTELLO";
