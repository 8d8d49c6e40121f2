// KIVO discovery and update; a window object that is never shown.
#pragma once

#include <QObject>

class TFormKIVO final : public QObject {
  Q_OBJECT
 public:
  explicit TFormKIVO(QObject* parent = nullptr);
};
