// The fixed texts and built-in values of the report mails, byte for byte, in one place.
#pragma once

namespace zavelo::mail {

// The mailbox of the ERP's maker that receives a copy of every report, and the maker's web
// address in the footer. Both lie under a reserved example domain (RFC 2606), so that a copy
// can never reach anybody; a deployment replaces them here.
inline constexpr char kCopyAddress[] = "copias@halvori.example";
inline constexpr char kWebAddress[] = "www.halvori.example";

// The SMTP client's account name and password until a user's mail account is read. They never
// reach a server: no mail is attempted while the host is empty, and the host is only ever set
// together with the account name and password.
inline constexpr char kPresetAccountName[] = "reportes";
inline constexpr char kPresetPassword[] = "zav-25";

// The configuration rows the mailing reads (module and category "GENERAL").
inline constexpr char kConfigModule[] = "GENERAL";
inline constexpr char kConfigCategory[] = "GENERAL";
inline constexpr char kPortProperty[] = "PUERTO TCP PARA ENVIO DE CORREO ELECTRONICO";
inline constexpr char kTlsProperty[] = "USAR SSL PARA ENVIO DE CORREO ELECTRONICO";
inline constexpr char kCompanyNameProperty[] = "NOMBRE COMPANIA";
// The one value of the TLS switch that turns STARTTLS on: upper case, nothing around it.
inline constexpr char kTlsOn[] = "SI";

inline constexpr char kUserStatement[] =
    "select user_email, user_mailserver, user_mailuser, user_mailpass from usuario "
    "where user_cod = ";

inline constexpr char kSeparator[] = "________________________";
inline constexpr char kFooterStart[] =
    "Mensaje enviado automaticamente por la aplicacion administrativa y contable HALvori(R). ";
inline constexpr char kFooterEnd[] = ", intencionalmente sin acentos";

}  // namespace zavelo::mail
