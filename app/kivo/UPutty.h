// SSH settings of a KIVO update.
#pragma once

#include <QString>

struct TPuttyInfo final {
  QString Host;        // the camera's host name or IPv4 address
  QString ToolFolder;  // folder of plink and pscp, ending with a path separator
  QString User;
  QString Password;
};
