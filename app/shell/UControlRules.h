// The rules behind the main window's controls, kept apart from the widgets that show them.
#pragma once

#include "shell/UTypes.h"

#include <QString>
#include <cstdint>
#include <functional>

// What the enabled and visible states of the main window depend on.
struct TControlInputs final {
  bool One = false;          // exactly one table row is selected
  TANPRType Family = ANPR_ANY;  // family of the selected device
  bool HasMAC = false;       // the selected device has a MAC address
  bool DHCP = false;         // "Enable DHCP" is checked
  bool Invalid = false;      // an address field is in its error state
  bool Modified = false;     // the settings panel was edited since it was filled
  bool UpdateFileV2Exists = false;
  bool UpdateFileKIVOExists = false;
};

struct TControlStates final {
  bool WebConfigEnabled = false;
  bool PanelIPADDRVisible = false;
  bool PanelIPADDRKIVOVisible = false;
  bool DHCPEnabled = false;
  bool HostnameEnabled = false;
  bool MACEnabled = false;
  bool AddressFieldsEnabled = false;
  bool SetIPEnabled = false;
  bool CancelIPEnabled = false;
  bool PanelUpdateV1Visible = false;
  bool PanelUpdateV2Visible = false;
  bool UpdateV2Enabled = false;
  bool PanelUpdateKIVOVisible = false;
  bool UpdateKIVOEnabled = false;
};

TControlStates ComputeControlStates(const TControlInputs& in);

// Drawn width of a text in pixels.
using TTextWidth = std::function<int(const QString&)>;

// The path, its folder shortened from the end with a ".../" marker until the whole fits the
// maximum width; at the shortest, the bare file name even when that is still too wide.
QString ShortenPath(const QString& path, const TTextWidth& width, int maximum);

// The family kept from a stored value: the low seven bits of its lowest byte.
std::int32_t ANPRTypeFromStored(std::int32_t value);

// An address part is valid when its text, read as a decimal integer (anything else counts
// as 0), lies between 0 and 255.
bool IsValidAddressPart(const QString& text);

// The text an address field shows for a part: the part when it is a whole number, else "0".
QString AddressFieldText(const QString& part);
