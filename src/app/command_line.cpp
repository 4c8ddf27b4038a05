#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>
#include <utility>

namespace zavelo {
namespace {

const QString kUnattended = QStringLiteral("desatendido");
const QString kFrom = QStringLiteral("desde");
const QString kTo = QStringLiteral("hasta");
const QString kJournal = QStringLiteral("registro");
const QString kStrictTls = QStringLiteral("tls-estricto");
const QString kCertificates = QStringLiteral("certificados");
const QString kCheck = QStringLiteral("probar");

CommandLine refuse(const QString& why) {
  return {CommandLine::Action::Refuse, {}, why};
}

// A calendar day written AAAA-MM-DD, and nothing else.
std::optional<QDate> isoDay(const QString& text) {
  static const QRegularExpression form(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
  if (!form.match(text).hasMatch()) return std::nullopt;
  const QDate day = QDate::fromString(text, Qt::ISODate);
  if (!day.isValid()) return std::nullopt;
  return day;
}

// The help text, wholly in Spanish (QCommandLineParser's own has English titles): the usage
// line, what the program does, and each option with its value and description, the
// descriptions aligned and wrapped at 79 columns.
QString helpText(const QString& description, const QList<QCommandLineOption>& options) {
  constexpr qsizetype kWidth = 79;
  QStringList names;
  qsizetype column = 0;
  for (const QCommandLineOption& option : options) {
    QStringList forms;
    for (const QString& name : option.names())
      forms << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString text = QStringLiteral("  ") + forms.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty()) text += u' ' + option.valueName();
    column = std::max(column, text.size() + 2);
    names << text;
  }
  QString help = QStringLiteral("Uso: ZadiRod [opciones]\n\n") + description +
                 QStringLiteral("\n\nOpciones:\n");
  for (qsizetype i = 0; i < options.size(); ++i) {
    QString line = names[i].leftJustified(column);
    qsizetype used = column;
    for (const QString& word : options[i].description().split(u' ', Qt::SkipEmptyParts)) {
      if (used > column && used + 1 + word.size() > kWidth) {
        help += line + u'\n';
        line = QString(column, u' ');
        used = column;
      }
      if (used > column) {
        line += u' ';
        ++used;
      }
      line += word;
      used += word.size();
    }
    help += line + u'\n';
  }
  return help;
}

// The options the program knows, in the order the help lists them.
struct Options {
  QCommandLineOption unattended{
      kUnattended, QStringLiteral("Arranque de un programador de tareas: modo autom\u00e1tico sin "
                                  "ning\u00fan mensaje en pantalla; el programa termina con su "
                                  "corrida.")};
  QCommandLineOption from{
      kFrom, QStringLiteral("Primer d\u00eda (solo con --desatendido; por omisi\u00f3n hoy)."),
      QStringLiteral("AAAA-MM-DD")};
  QCommandLineOption to{
      kTo, QStringLiteral("\u00daltimo d\u00eda (solo con --desatendido; por omisi\u00f3n hoy)."),
      QStringLiteral("AAAA-MM-DD")};
  QCommandLineOption journal{kJournal,
                             QStringLiteral("Escribe el registro de la corrida en ARCHIVO."),
                             QStringLiteral("ARCHIVO")};
  QCommandLineOption strictTls{
      kStrictTls,
      QStringLiteral("El correo sale solo por STARTTLS con el certificado del servidor "
                     "verificado (certificados de confianza del sistema y nombre del servidor).")};
  QCommandLineOption certificates{
      kCertificates,
      QStringLiteral("Certificados PEM de confianza adem\u00e1s de los del sistema; implica "
                     "--tls-estricto."),
      QStringLiteral("ARCHIVO")};
  QCommandLineOption check{
      kCheck, QStringLiteral("Comprueba la configuraci\u00f3n paso a paso (ERP, archivo de "
                             "configuraci\u00f3n, carpeta de salida, base de datos, servidor de "
                             "correo) sin escribir reportes ni enviar correo; estado 0 si todo "
                             "est\u00e1 en orden, 2 si no.")};
  QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")},
                          QStringLiteral("Muestra esta ayuda.")};
  QCommandLineOption version{QStringList{QStringLiteral("v"), QStringLiteral("version")},
                             QStringLiteral("Muestra la versi\u00f3n.")};

  QList<QCommandLineOption> all() const {
    return {unattended, from, to, journal, strictTls, certificates, check, help, version};
  }
};

const QString kDescription = QStringLiteral(
    "Reportes diarios de inventario y ventas de ZAVELO desde la base de datos de\n"
    "Halvori, escritos en archivos y enviados por correo.\n"
    "Sin argumentos, el programa interactivo.");

// Why the parser refused the line: an unknown option by its name, or the parser's own words.
CommandLine parseRefusal(const QCommandLineParser& parser) {
  if (!parser.unknownOptionNames().isEmpty()) {
    const QString name = parser.unknownOptionNames().first();
    return refuse(QStringLiteral("Opci\u00f3n desconocida: %1%2")
                      .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
  }
  return refuse(QStringLiteral("L\u00ednea de \u00f3rdenes no v\u00e1lida: ") + parser.errorText());
}

// Options that do not go together: why, or nothing.
std::optional<QString> conflict(const QCommandLineParser& parser, const Options& o) {
  const bool days = parser.isSet(o.from) || parser.isSet(o.to);
  if (parser.isSet(o.check) && days)
    return QStringLiteral(
        "--probar no admite --desde ni --hasta: comprueba la "
        "configuraci\u00f3n, no genera reportes");
  if (parser.isSet(o.check) && parser.isSet(o.unattended))
    return QStringLiteral("--probar y --desatendido no van juntos: --probar no genera reportes");
  if (days && !parser.isSet(o.unattended))
    return QStringLiteral("--desde y --hasta solo valen con --desatendido");
  return std::nullopt;
}

// The days of the run, today unless given: why they cannot be taken, or nothing.
std::optional<QString> readDays(const QCommandLineParser& parser, const Options& o, QDate today,
                                StartOptions& options) {
  options.firstDay = options.lastDay = today;
  for (const auto& [option, day] :
       {std::pair{&o.from, &options.firstDay}, {&o.to, &options.lastDay}}) {
    if (!parser.isSet(*option)) continue;
    const QString text = parser.value(*option);
    const std::optional<QDate> read = isoDay(text);
    if (!read)
      return QStringLiteral(
                 "Fecha no v\u00e1lida en --%1: \u00ab%2\u00bb (se espera "
                 "AAAA-MM-DD, un d\u00eda que exista)")
          .arg(option->names().first(), text);
    *day = *read;
  }
  if (options.lastDay < options.firstDay)
    return QStringLiteral("Rango invertido: --desde %1 es posterior a --hasta %2")
        .arg(options.firstDay.toString(Qt::ISODate), options.lastDay.toString(Qt::ISODate));
  if (options.firstDay.daysTo(options.lastDay) + 1 > kMaxRangeDays)
    return QStringLiteral("Rango demasiado largo: %1 d\u00edas; el m\u00e1ximo es %2")
        .arg(options.firstDay.daysTo(options.lastDay) + 1)
        .arg(kMaxRangeDays);
  return std::nullopt;
}

// The files the options name (journal, certificates): why one cannot be taken, or nothing.
std::optional<QString> readFiles(const QCommandLineParser& parser, const Options& o,
                                 StartOptions& options) {
  if (parser.isSet(o.journal)) {
    options.journal = parser.value(o.journal);
    if (options.journal.isEmpty())
      return QStringLiteral("--registro necesita el nombre de un archivo");
  }
  options.strictTls = parser.isSet(o.strictTls) || parser.isSet(o.certificates);
  if (parser.isSet(o.certificates)) {
    options.certificates = parser.value(o.certificates);
    if (options.certificates.isEmpty())
      return QStringLiteral("--certificados necesita el nombre de un archivo");
  }
  return std::nullopt;
}

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments, QDate today) {
  const Options o;
  QCommandLineParser parser;
  parser.addOptions(o.all());
  if (!parser.parse(arguments)) return parseRefusal(parser);
  if (parser.isSet(o.help)) return {CommandLine::Action::Help, {}, helpText(kDescription, o.all())};
  if (parser.isSet(o.version))
    return {CommandLine::Action::Version,
            {},
            QStringLiteral("ZadiRod %1").arg(QCoreApplication::applicationVersion())};
  if (!parser.positionalArguments().isEmpty())
    return refuse(QStringLiteral("Argumento no reconocido: \u00ab%1\u00bb")
                      .arg(parser.positionalArguments().first()));
  if (const std::optional<QString> why = conflict(parser, o)) return refuse(*why);

  CommandLine result;
  result.options.unattended = parser.isSet(o.unattended);
  result.options.check = parser.isSet(o.check);
  if (const std::optional<QString> why = readDays(parser, o, today, result.options))
    return refuse(*why);
  if (const std::optional<QString> why = readFiles(parser, o, result.options)) return refuse(*why);
  return result;
}

}  // namespace zavelo
