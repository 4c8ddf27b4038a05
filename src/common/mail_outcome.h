// What became of one file's mail: the mailing says it, the run of days counts it.
#pragma once

namespace zavelo {

enum class MailOutcome { NotAttempted, Sent, Failed };

}  // namespace zavelo
