// The KORDEX message transport; a window object that is never shown.
#pragma once

#include <QObject>

class TFormWendaro final : public QObject {
  Q_OBJECT
 public:
  explicit TFormWendaro(QObject* parent = nullptr);
};
