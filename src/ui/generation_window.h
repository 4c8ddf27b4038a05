// The generation window "Generar archivos": the day-by-day export run and its mailing.
// (Placeholder: the full window replaces this file.)
#pragma once

#include <QDialog>

namespace zavelo {
class Notifier;
class Tfdorvanefamilia;
namespace db {
class Tfdm;
}

class Tfcierre : public QDialog {
  Q_OBJECT
 public:
  Tfcierre(Tfdorvanefamilia& owner, db::Tfdm& dm, Notifier& notifier);
  ~Tfcierre() override;
};

}  // namespace zavelo
