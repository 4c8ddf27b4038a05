// The main window "ZadiRod ZAVELO": origin of the data, date range, branch and brand code.
// (Placeholder: the full window replaces this file.)
#pragma once

#include <QByteArray>
#include <QDate>
#include <QWidget>

namespace zavelo {
class Notifier;
namespace db {
class Tfdm;
}

class Tfdorvanefamilia : public QWidget {
  Q_OBJECT
 public:
  Tfdorvanefamilia(db::Tfdm& dm, Notifier& notifier, QWidget* parent = nullptr);
  ~Tfdorvanefamilia() override;

  // Values the generation window and the mailing read while they work.
  QDate firstDay() const;          // EFecIni
  QDate lastDay() const;           // EFecfin
  QByteArray brandCode() const;    // text of Fami, Windows-1252
  QByteArray userCode() const;     // text of Tusua, Windows-1252
  QByteArray directorio() const;   // settings line 3
  QByteArray destinatarios() const;  // settings line 8
  bool automaticMode() const;      // settings line 9 is exactly "1"
  QByteArray agencia() const;
  void setAgencia(const QByteArray& value);
};

}  // namespace zavelo
