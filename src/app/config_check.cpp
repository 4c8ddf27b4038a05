#include "app/config_check.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSslCertificate>
#include <QTemporaryFile>
#include <optional>

#include "app/console.h"
#include "app/journal.h"
#include "common/clock.h"
#include "common/cp1252.h"
#include "common/error.h"
#include "common/notifier.h"
#include "db/client_library.h"
#include "db/data_module.h"
#include "db/query.h"
#include "db/sql_literal.h"
#include "export/report_kind.h"
#include "mail/mail_setup.h"
#include "mail/mail_texts.h"
#include "mail/port_text.h"
#include "mail/report_mailer.h"
#include "mail/smtp/address_list.h"
#include "settings/settings_envio.h"
#include "settings/settings_file.h"

namespace zavelo {
namespace {

// The steps, in the order they are checked.
const QString kErpFolder = QStringLiteral("Carpeta del ERP");
const QString kSettings = QStringLiteral("Archivo de configuraci\u00f3n");
const QString kOutput = QStringLiteral("Carpeta de salida");
const QString kRecipients = QStringLiteral("Destinatarios");
const QString kDateForm = QStringLiteral("Formato de fecha");
const QString kClient = QStringLiteral("Biblioteca cliente de Firebird");
const QString kDatabase = QStringLiteral("Base de datos");
const QString kMailConfig = QStringLiteral("Configuraci\u00f3n de correo");
const QString kAccount = QStringLiteral("Cuenta de correo");
const QString kProcedures = QStringLiteral("Procedimientos");
const QString kServer = QStringLiteral("Servidor de correo");
const QString kGreeting = QStringLiteral("Saludo del servidor");
const QString kEhlo = QStringLiteral("EHLO");
const QString kStartTls = QStringLiteral("STARTTLS");
const QString kAuth = QStringLiteral("AUTH LOGIN");
const QString kQuit = QStringLiteral("QUIT");

// What a box would have said: the check shows none, the texts go into its lines.
class CollectingNotifier : public Notifier {
 public:
  void errorReport(const QString&, const QString& text) override { texts.append(text); }
  void notice(const QString&, const QString& text) override { texts.append(text); }
  void errorBox(const QString&, const QString& text) override { texts.append(text); }
  QStringList texts;
};

QString quoted(const QByteArray& bytes) {
  return QStringLiteral("\u00ab%1\u00bb").arg(fromCp1252(bytes));
}

QString replyText(const smtp::SmtpReply& reply) {
  QString text = QString::number(reply.code);
  for (const QByteArray& line : reply.lines) text += u' ' + fromCp1252(line);
  return oneLine(text);
}

QString registryPlace(const settings::RegistryLocation& where) {
#ifdef Q_OS_WIN
  return QStringLiteral("HKEY_LOCAL_MACHINE\\%1, valor %2").arg(where.keyPath, where.valueName);
#else
  return QStringLiteral("%1 con %2= en %3")
      .arg(where.relativeFile, where.valueName,
           where.configDirs.isEmpty() ? QStringLiteral("(ninguna carpeta)")
                                      : where.configDirs.join(u':'));
#endif
}

// An address the mailing would refuse to send, or one no server can deliver (no "@").
bool unsendable(const QByteArray& address) {
  return !smtp::isSendableAddress(address) || !address.contains('@');
}

QString certificateText(const QSslCertificate& certificate) {
  return QStringLiteral(
             "sujeto \u00ab%1\u00bb, emisor \u00ab%2\u00bb, v\u00e1lido hasta %3, huella "
             "SHA-256 %4")
      .arg(certificate.subjectDisplayName(), certificate.issuerDisplayName(),
           certificate.expiryDate().toUTC().toString(Qt::ISODate),
           smtp::sha256Fingerprint(certificate));
}

}  // namespace

ConfigCheck::ConfigCheck(CheckSetup setup, Output output)
    : setup_(std::move(setup)), output_(std::move(output)) {}

void ConfigCheck::ok(const QString& step, const QString& detail) {
  output_(QStringLiteral("OK    %1: %2").arg(step, oneLine(detail)));
}

void ConfigCheck::fail(const QString& step, const QString& detail) {
  ++failures_;
  output_(QStringLiteral("FALLA %1: %2").arg(step, oneLine(detail)));
}

void ConfigCheck::skip(const QString& step, const QString& why) {
  fail(step, QStringLiteral("no se comprob\u00f3: ") + why);
}

bool ConfigCheck::run() {
  failures_ = 0;
  CollectingNotifier boxes;

  // 1. The ERP folder and the settings file in it.
  const QString place = registryPlace(setup_.registry);
  std::optional<QString> erp;
  try {
    const QString folder = settings::diraplicacion(boxes, setup_.registry);
    if (folder.isEmpty())
      fail(kErpFolder,
           (boxes.texts.isEmpty() ? QStringLiteral("el valor %1 est\u00e1 vac\u00edo o no existe")
                                        .arg(setup_.registry.valueName)
                                  : boxes.texts.join(QStringLiteral(" / "))) +
               QStringLiteral(" (%1)").arg(place));
    else if (!QFileInfo(folder).isDir())
      fail(kErpFolder, QStringLiteral("%1 no es una carpeta que exista (%2)")
                           .arg(QDir::toNativeSeparators(folder), place));
    else
      ok(kErpFolder, QStringLiteral("%1 (%2)").arg(QDir::toNativeSeparators(folder), place));
    if (!folder.isEmpty()) erp = folder;
  } catch (const Error& error) {
    fail(kErpFolder, QStringLiteral("%1 (%2)").arg(error.message(), place));
  }

  settings::TSettingsEnvio values;
  bool haveSettings = false;
  if (!erp) {
    skip(kSettings, QStringLiteral("sin carpeta del ERP"));
  } else {
    settings::SettingsFileRead read;
    const QString path = QDir::toNativeSeparators(settings::settingsFilePath(*erp));
    try {
      settings::cargarsettings(*erp, values, &read);
      haveSettings = read.opened;
      const int expected = int(settings::settingsLines.size());
      if (!read.opened)
        fail(kSettings, QStringLiteral("no se puede abrir %1 (no existe, no es un archivo o lo "
                                       "tiene abierto otro programa)")
                            .arg(path));
      else if (read.lines < expected)
        fail(kSettings, QStringLiteral("%1: solo %2 de las %3 l\u00edneas")
                            .arg(path)
                            .arg(read.lines)
                            .arg(expected));
      else
        ok(kSettings,
           QStringLiteral("%1: %2 l\u00edneas le\u00eddas; modo autom\u00e1tico %3 "
                          "(l\u00ednea 9 %4)")
               .arg(path)
               .arg(expected)
               .arg(values.automaticMode() ? QStringLiteral("s\u00ed") : QStringLiteral("no"),
                    quoted(values.automatico)));
    } catch (const Error& error) {
      haveSettings = read.opened;
      fail(kSettings, QStringLiteral("%1: %2 en la l\u00ednea %3")
                          .arg(path, error.message())
                          .arg(read.lines + 1));
    }
  }

  // 2. The output folder: a file can be made and removed there.
  if (!haveSettings) {
    skip(kOutput, QStringLiteral("sin archivo de configuraci\u00f3n"));
  } else if (values.directorio.isEmpty()) {
    fail(kOutput, QStringLiteral("la l\u00ednea 3 del archivo de configuraci\u00f3n est\u00e1 "
                                 "vac\u00eda"));
  } else {
    const QString folder = fromCp1252(values.directorio);
    const QString shown = QDir::toNativeSeparators(folder);
    const QFileInfo info(folder);
    if (!info.exists()) {
      fail(kOutput, QStringLiteral("%1 no existe").arg(shown));
    } else if (!info.isDir()) {
      fail(kOutput, QStringLiteral("%1 no es una carpeta").arg(shown));
    } else {
      QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("zadirod-prueba-XXXXXX.tmp")));
      if (!probe.open()) {
        fail(
            kOutput,
            QStringLiteral("%1: no se puede crear un archivo: %2").arg(shown, probe.errorString()));
      } else {
        probe.close();
        if (probe.remove())
          ok(kOutput,
             QStringLiteral("%1: se cre\u00f3 y se borr\u00f3 un archivo de prueba").arg(shown));
        else
          fail(kOutput, QStringLiteral("%1: se cre\u00f3 un archivo de prueba pero no se pudo "
                                       "borrar: %2")
                            .arg(shown, probe.errorString()));
      }
    }
  }

  // 3. The recipients, as the mailing reads them.
  if (!haveSettings) {
    skip(kRecipients, QStringLiteral("sin archivo de configuraci\u00f3n"));
  } else {
    const smtp::AddressList list = smtp::AddressList::parse(values.destinatarios);
    QStringList addresses;
    QStringList bad;
    for (const smtp::MailAddress& entry : list.entries()) {
      addresses.append(fromCp1252(entry.address));
      if (unsendable(entry.address)) bad.append(quoted(entry.text));
    }
    const QString copy = QStringLiteral("copia a %1").arg(QString::fromLatin1(mail::kCopyAddress));
    if (list.isEmpty())
      fail(kRecipients,
           QStringLiteral("la l\u00ednea 8 (%1) no da ninguna direcci\u00f3n: los "
                          "reportes ir\u00edan solo a la copia, %2")
               .arg(quoted(values.destinatarios), QString::fromLatin1(mail::kCopyAddress)));
    else if (!bad.isEmpty())
      fail(kRecipients, QStringLiteral("direcci\u00f3n no v\u00e1lida en la l\u00ednea 8: %1")
                            .arg(bad.join(QStringLiteral(", "))));
    else
      ok(kRecipients, addresses.join(QStringLiteral(", ")) + QStringLiteral("; ") + copy);
  }

  // 4. The date form: the file names are made from it.
  const QByteArray dateText = Clock::shortDate(setup_.today);
  if (Clock::isYearFirst(dateText, setup_.today))
    ok(kDateForm, QStringLiteral("hoy es %1: a\u00f1o, mes y d\u00eda, como se espera")
                      .arg(fromCp1252(dateText)));
  else
    fail(kDateForm,
         QStringLiteral("hoy es %1, que no es a\u00f1o, mes y d\u00eda (AAAA/MM/DD): los archivos "
                        "saldr\u00edan con nombres equivocados. Ajuste el formato de fecha corta "
                        "(Linux: LC_TIME, por ejemplo LC_TIME=ja_JP.UTF-8; Windows: "
                        "configuraci\u00f3n regional)")
             .arg(quoted(dateText)));

  // 5. The Firebird client library.
  bool haveClient = false;
  try {
    const db::ClientLibraryInfo info = db::clientLibraryInfo(setup_.fbClientLibrary);
    ok(kClient, QStringLiteral("%1, versi\u00f3n %2")
                    .arg(QDir::toNativeSeparators(info.path), info.version));
    haveClient = true;
  } catch (const Error& error) {
    fail(kClient, error.message());
  }

  // 6. The database: connection, the configuration the mailing reads, the user's mail
  // account, the two procedures.
  db::Tfdm dm(boxes, setup_.fbClientLibrary);
  mail::ReportMailer mailer(dm);
  bool haveDatabase = false;
  bool haveAccount = false;
  QByteArray tlsSwitch;
  if (!haveSettings || !haveClient) {
    const QString why = haveSettings ? QStringLiteral("sin biblioteca cliente de Firebird")
                                     : QStringLiteral("sin archivo de configuraci\u00f3n");
    for (const QString& step : {kDatabase, kMailConfig, kAccount, kProcedures}) skip(step, why);
  } else {
    const QString user = fromCp1252(values.codusuario);
    try {
      dm.conectarbase(values.servidor, values.compania, values.codusuario, values.clave);
      haveDatabase = true;
      ok(kDatabase, QStringLiteral("%1, usuario %2: conectado")
                        .arg(fromCp1252(dm.Halvori.params().value("Database")), user));
    } catch (const Error& error) {
      fail(kDatabase,
           QStringLiteral("%1, usuario %2: %3")
               .arg(fromCp1252(dm.Halvori.params().value("Database")), user, error.message()));
    }
    if (!haveDatabase) {
      for (const QString& step : {kMailConfig, kAccount, kProcedures})
        skip(step, QStringLiteral("sin conexi\u00f3n a la base de datos"));
    } else {
      boxes.texts.clear();
      try {
        const QByteArray port = mail::mailConfiguracion(dm, mail::kPortProperty);
        tlsSwitch = mail::mailConfiguracion(dm, mail::kTlsProperty);
        const QByteArray company = mail::mailConfiguracion(dm, mail::kCompanyNameProperty);
        QString portText;
        QString portError;
        try {
          portText = QString::number(mail::portFromText(port));
        } catch (const Error& error) {
          portError = error.message();
        }
        const QString detail =
            QStringLiteral("puerto %1, TLS %2 (%3), compa\u00f1\u00eda %4")
                .arg(portError.isEmpty() ? portText : quoted(port), quoted(tlsSwitch),
                     tlsSwitch == mail::kTlsOn ? QStringLiteral("STARTTLS")
                                               : QStringLiteral("sin STARTTLS"),
                     quoted(company));
        if (!portError.isEmpty() || !boxes.texts.isEmpty()) {
          QStringList problems = boxes.texts;
          if (!portError.isEmpty()) problems.prepend(portError);
          fail(kMailConfig, detail + QStringLiteral(": ") + problems.join(QStringLiteral(" / ")));
        } else {
          ok(kMailConfig, detail);
        }
      } catch (const Error& error) {
        fail(kMailConfig, error.message());
      }

      // The mailing's own day setup: port, account and TLS switch as a run would set them.
      try {
        mailer.prepararcorreo(values.codusuario);
        const QByteArray sender = mailer.sender();
        const smtp::SmtpClient& client = mailer.client();
        const QString detail =
            QStringLiteral("usuario del ERP %1: remitente %2, servidor %3, usuario %4")
                .arg(user, quoted(sender), quoted(client.host()), quoted(client.accountName()));
        if (sender.isEmpty())
          fail(kAccount, QStringLiteral("el usuario del ERP %1 no tiene direcci\u00f3n de correo "
                                        "en la tabla usuario: no se enviar\u00eda ning\u00fan "
                                        "reporte")
                             .arg(user));
        else if (!mailer.hasAccount())
          fail(kAccount, detail + QStringLiteral(": falta el servidor, el usuario o la "
                                                 "contrase\u00f1a: no se enviar\u00eda ning\u00fan "
                                                 "reporte"));
        else
          ok(kAccount, detail + QStringLiteral(" (la contrase\u00f1a no se muestra)"));
        haveAccount = mailer.hasAccount();
      } catch (const Error& error) {
        fail(kAccount, error.message());
      }

      try {
        // The procedures of the report kinds, by name.
        QStringList wanted;
        QByteArrayList literals;
        for (const exporting::ReportKind& report : exporting::kReportKinds) {
          wanted.append(QString::fromLatin1(report.procedure));
          literals.append(db::sqlStringLiteral(report.procedure));
        }
        db::Query procedures(dm.Halvori,
                             "select trim(rdb$procedure_name) from rdb$procedures "
                             "where rdb$procedure_name in (" +
                                 literals.join(", ") + ")");
        const db::QueryResult result = procedures.openFetchAllAndClose();
        QSet<QByteArray> found;
        for (size_t row = 0; row < result.rows.size(); ++row)
          found.insert(result.rows.value(row, 0).value_or(QByteArray()));
        QStringList missing;
        for (const QString& name : wanted)
          if (!found.contains(name.toLatin1())) missing.append(name);
        if (missing.isEmpty())
          ok(kProcedures, QStringLiteral("%1 existen").arg(wanted.join(QStringLiteral(" y "))));
        else
          fail(kProcedures,
               QStringLiteral("no existe: %1").arg(missing.join(QStringLiteral(", "))));
      } catch (const Error& error) {
        fail(kProcedures, error.message());
      }
    }
  }

  // 7. The mail server: the dialogue of a mail up to the login, then QUIT; never MAIL FROM.
  const QList<QString> mailSteps{kServer, kGreeting, kEhlo, kStartTls, kAuth, kQuit};
  if (!haveAccount) {
    const QString why = haveDatabase ? QStringLiteral("sin cuenta de correo completa")
                                     : QStringLiteral("sin los datos de la base de datos");
    for (const QString& step : mailSteps) skip(step, why);
    return failures_ == 0;
  }
  smtp::SmtpClient& client = mailer.client();
  client.setTlsPolicy(setup_.tls);
  client.setTimeouts(setup_.timeouts);
  const QString host = fromCp1252(client.host());
  const QString where = QStringLiteral("%1 puerto %2").arg(host).arg(client.port());
  // Marks the steps after the one that failed as not checked.
  const auto skipFrom = [&](qsizetype first, const QString& why) {
    for (qsizetype i = first; i < mailSteps.size(); ++i) skip(mailSteps[i], why);
  };
  try {
    client.connectToServer();
  } catch (const Error& error) {
    if (client.peerAddress().isNull()) {
      fail(kServer, QStringLiteral("%1: %2").arg(where, error.message()));
      skipFrom(1, QStringLiteral("sin conexi\u00f3n"));
    } else if (client.greeting().code != 220) {
      ok(kServer, QStringLiteral("%1 (%2)").arg(where, client.peerAddress().toString()));
      fail(kGreeting, client.greeting().code == 0 ? error.message() : replyText(client.greeting()));
      skipFrom(2, QStringLiteral("el servidor no salud\u00f3"));
    } else {
      ok(kServer, QStringLiteral("%1 (%2)").arg(where, client.peerAddress().toString()));
      ok(kGreeting, replyText(client.greeting()));
      fail(kEhlo, error.message());
      skipFrom(3, QStringLiteral("el servidor no respondi\u00f3 a EHLO ni a HELO"));
    }
    return failures_ == 0;
  }
  ok(kServer, QStringLiteral("%1 (%2)").arg(where, client.peerAddress().toString()));
  ok(kGreeting, replyText(client.greeting()));
  ok(kEhlo, client.capabilities().isEmpty()
                ? QStringLiteral("sin capacidades (o el servidor solo acepta HELO)")
                : QStringLiteral("capacidades: ") + fromCp1252(client.capabilities().join(", ")));

  const bool wantsTls = client.tlsMode() == smtp::TlsMode::Explicit || setup_.tls.strict;
  bool carryOn = true;
  if (!wantsTls) {
    ok(kStartTls, QStringLiteral("no se pide (interruptor TLS %1): el correo va sin cifrar")
                      .arg(quoted(tlsSwitch)));
  } else {
    try {
      client.upgrade();
      const smtp::TlsSession& tls = client.tlsSession();
      if (!tls.encrypted) {
        ok(kStartTls, QStringLiteral("el servidor no lo ofrece: el correo ir\u00eda sin cifrar"));
      } else {
        QString verification;
        if (tls.verified) {
          verification = QStringLiteral("verificado contra los certificados de confianza");
        } else {
          const QList<QSslError> errors = QSslCertificate::verify(tls.chain, host);
          verification = errors.isEmpty() ? QStringLiteral(
                                                "verificado contra los certificados de confianza "
                                                "del sistema")
                                          : QStringLiteral("no verificado: ") +
                                                smtp::verificationReasons(errors, host);
        }
        ok(kStartTls, QStringLiteral("%1; certificado: %2; %3")
                          .arg(tls.protocol,
                               tls.chain.isEmpty() ? QStringLiteral("ninguno")
                                                   : certificateText(tls.chain.first()),
                               verification));
      }
    } catch (const Error& error) {
      const smtp::TlsSession& tls = client.tlsSession();
      fail(kStartTls, tls.chain.isEmpty()
                          ? error.message()
                          : QStringLiteral("%1 Certificado: %2")
                                .arg(error.message(), certificateText(tls.chain.first())));
      carryOn = false;
    }
  }

  if (!carryOn) {
    skip(kAuth, QStringLiteral("sin STARTTLS no se manda la contrase\u00f1a"));
  } else if (!client.offersAuthLogin()) {
    ok(kAuth, QStringLiteral("el servidor no ofrece AUTH LOGIN: el correo saldr\u00eda sin "
                             "autenticar"));
  } else {
    try {
      client.authenticate();
      ok(kAuth, QStringLiteral("aceptado: ") + replyText(client.lastReply()));
    } catch (const Error& error) {
      fail(kAuth, QStringLiteral("rechazado: ") + error.message());
    }
  }

  if (!client.connected()) {
    skip(kQuit, QStringLiteral("la conexi\u00f3n ya estaba cerrada"));
  } else {
    client.disconnectFromServer();
    if (client.lastReply().code == 221)
      ok(kQuit, replyText(client.lastReply()));
    else
      fail(kQuit, QStringLiteral("sin respuesta 221; la conexi\u00f3n se cerr\u00f3"));
  }
  return failures_ == 0;
}

int runConfigCheck(int& argc, char** argv, const smtp::TlsPolicy& tls, const QString& journal,
                   const QString& version) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationVersion(version);
  std::optional<Journal> file;
  if (!journal.isEmpty()) file.emplace(journal);
  const auto say = [&](const QString& line) {
    printLine(stdout, line);
    if (file) file->write(line);
  };
  say(QStringLiteral("ZadiRod %1: comprobaci\u00f3n de la configuraci\u00f3n (no escribe "
                     "reportes ni env\u00eda correo)")
          .arg(version));
  ConfigCheck check({.registry = settings::defaultRegistryLocation(),
                     .fbClientLibrary = db::defaultFbClientLibrary(),
                     .tls = tls,
                     .today = Clock::today(),
                     .timeouts = {}},
                    say);
  const bool allOk = check.run();
  say(allOk ? QStringLiteral("Resultado: todo en orden")
            : QStringLiteral("Resultado: hay pasos con FALLA"));
  return allOk ? 0 : 2;
}

}  // namespace zavelo
