#include "ui/selection_window.h"

namespace zavelo {

Tfdorvanefamilia::Tfdorvanefamilia(db::Tfdm&, Notifier&, QWidget* parent) : QWidget(parent) {}
Tfdorvanefamilia::~Tfdorvanefamilia() = default;
QDate Tfdorvanefamilia::firstDay() const { return {}; }
QDate Tfdorvanefamilia::lastDay() const { return {}; }
QByteArray Tfdorvanefamilia::brandCode() const { return {}; }
QByteArray Tfdorvanefamilia::userCode() const { return {}; }
QByteArray Tfdorvanefamilia::directorio() const { return {}; }
QByteArray Tfdorvanefamilia::destinatarios() const { return {}; }
bool Tfdorvanefamilia::automaticMode() const { return false; }
QByteArray Tfdorvanefamilia::agencia() const { return {}; }
void Tfdorvanefamilia::setAgencia(const QByteArray&) {}

}  // namespace zavelo
