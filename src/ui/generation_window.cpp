#include "ui/generation_window.h"

namespace zavelo {

Tfcierre::Tfcierre(Tfdorvanefamilia&, db::Tfdm&, Notifier&) {}
Tfcierre::~Tfcierre() = default;

}  // namespace zavelo
