#include "app/job_file.h"

#include <exception>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "core/routines.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/profile.h"

namespace ferrolo::app {

namespace {

constexpr std::string_view kCommandLineSection = "PARAMETRI_LINEA_COMANDO";
constexpr std::string_view kZipSection = "PARAMETRI_FILEZIP";
constexpr std::string_view kSmtpSection = "PARAMETRI_SMTP";
constexpr std::string_view kShutdownSection = "PARAMETRI_SHUTDOWN";
constexpr std::string_view kServicesSection = "SERVIZI";
constexpr std::string_view kMiscellaneousSection = "VARIE";

constexpr std::string_view kDefaultSizeSplit = "vs1_44MB";
constexpr std::string_view kDefaultPort = "25";
constexpr std::string_view kDefaultUserId = "Ferrolo";
constexpr std::string_view kDefaultSenderName = "Ferrolo";
constexpr std::string_view kDefaultSubject = "Report copie interne";

// The rules that separate the blocks of the default job file.
constexpr std::string_view kLongRule =
    ";-------------------------------------------------------------------------------------------------------"
    "---";
constexpr std::string_view kShortRule =
    ";-----------------------------------------------------------------------------------------";
static_assert(kLongRule.size() == 107 && kShortRule.size() == 90);

// The default job file, one element per line; the placeholders of lines 60 and 74 are the job settings'
// own. The "à" of line 100 is written in the system code page: UTF-8 on POSIX, 0xE0 on Windows.
constexpr std::string_view kDefaultJobFile[] = {
    kLongRule,
    "[PARAMETRI_LINEA_COMANDO]",
    R"(;Uso a linea di comando: Ferrolo c:\hp\*.* c:\temp\lun.zip c:\temp\log.txt [c:\temp\log_ext.txt])",
    kLongRule,
    ";Directory sorgente",
    "PARAM_1=",
    ";Directory destinazione",
    "PARAM_2=",
    ";File di log",
    "PARAM_3=",
    ";File di log esteso",
    "PARAM_4=",
    R"(;Ulteriore include 1 J:\*.*)",
    "INCLUDE_1=",
    ";Ulteriore include 2",
    "INCLUDE_2=",
    ";Ulteriore include 3",
    "INCLUDE_3=",
    ";Ulteriore include 4",
    "INCLUDE_4=",
    ";Ulteriore include 5",
    "INCLUDE_5=",
    "",
    "[PARAMETRI_FILEZIP]",
    kShortRule,
    ";Testa archivio creato (SI/NO)",
    "TEST_ZIP=SI",
    kShortRule,
    ";Copia su remoto (indicare full path /mnt/backup/)",
    "COPIA_SU_REMOTO1=",
    "COPIA_SU_REMOTO2=",
    "COPIA_SU_REMOTO3=",
    "COPIA_SU_REMOTO4=",
    "COPIA_SU_REMOTO5=",
    kShortRule,
    ";Attiva lo splitting del file ZIP; per una dimensione split custom inserire",
    ";valori in bytes 1048576 pari a 1 Mb; 3145728000 pari a 3 Gb;",
    ";vs1_44MB\tVolume size is 1.44 Mb (3.5\" floppy disk)",
    ";vs100MB\tVolume size is 100 Mb (IOMEGA disk)",
    ";vs200MB\tVolume size is 200 Mb (MO disk)",
    ";vs250MB\tVolume size is 250 Mb (MO disk)",
    ";vs600MB\tVolume size is 600 Mb (MO disk)",
    ";vs650MB\tVolume size is 650 Mb (74 Min. compact disk)",
    ";vs700MB\tVolume size is 700 Mb (80 Min. compact disk)",
    ";vs4700MB Volume size is 4700 Mb (DVD disk)",
    ";4500 costum size",
    "SPLITTING=NO",
    "ADVANCED_NAME_ZIP=NO",
    "SIZE_SPLIT=vs1_44MB",
    kShortRule,
    ";Cancella i file nomefile *.ZIP",
    "CANCELLA_ZIP_PRECEDENTE=SI",
    ";Nome file YYYYMMDD-HHMMSS",
    "NOMEFILE_AUTOMATICO=NO",
    "",
    kShortRule,
    "[PARAMETRI_SMTP]",
    kShortRule,
    ";Inserire il server SMTP",
    "HOST_SMTP=mail.example.com",
    "PORT_SMTP=25",
    "PROT_SSL=NO",
    kShortRule,
    ";Inserire la userid per il server SMTP (se richiesta)",
    "USERID_SMTP=Ferrolo",
    kShortRule,
    ";Inserire la password per il server SMTP (se richiesta)",
    "PASSWORD_SMTP=",
    kShortRule,
    ";Inserire il nome esteso di chi manda il messaggio",
    "MSG_FROM_SMTP=Ferrolo",
    kShortRule,
    ";Inserire la mail di chi manda il messaggio",
    "MSG_EMAIL_FROM_SMTP=ferrolo@example.com",
    kShortRule,
    ";Inserire l'oggetto",
    "MSG_SUBJECT_SMTP=Report copie interne",
    kShortRule,
    ";Inserisci anche l'allegato in PDF",
    "SEND_ATTACHMENT=SI",
    kShortRule,
    ";Inserire il primo indirizzo a cui spedire il msg",
    "EMAIL_TO_1_SMTP=",
    kShortRule,
    ";Inserire il secondo indirizzo a cui spedire il msg",
    "EMAIL_TO_2_SMTP=",
    kShortRule,
    ";Inserire il terzo indirizzo a cui spedire il msg",
    "EMAIL_TO_3_SMTP=",
    kShortRule,
    ";Inserire il quarto indirizzo a cui spedire il msg",
    "EMAIL_TO_4_SMTP=",
    kShortRule,
    ";Inserire il quinto indirizzo a cui spedire il msg",
    "EMAIL_TO_5_SMTP=",
    kShortRule,
    ";Inserire indirizzo mail per debug inviato sino alla data EMAIL_DEBUG_TO_DATE",
    "EMAIL_DEBUG=",
    kShortRule,
    ";La mail di debug verrà inviata sino al EMAIL_DEBUG_TO_DATE formato data gg/mm/aaaa",
    "EMAIL_DEBUG_TO_DATE=",
    kShortRule,
    "[PARAMETRI_SHUTDOWN]",
    kShortRule,
    ";Indicare se attivare lo shutdown del PC (SI/NO)",
    "SHUTDOWN=NO",
    kShortRule,
    "[SERVIZI]",
    kShortRule,
    ";Indicare i servizi da fermare prima di eseguire il salvataggio",
    "SERVIZIO_1=",
    "SERVIZIO_2=",
    "SERVIZIO_3=",
    kShortRule,
    "[VARIE]",
    kShortRule,
    ";Impostazioni varie",
    "MOSTRA_RIS_COPIE=",
};
static_assert(std::size(kDefaultJobFile) == 118);
// The placeholders the file writes are those the reader starts from.
static_assert(kDefaultJobFile[59] == "HOST_SMTP=mail.example.com" &&
              kDefaultJobFile[59].substr(10) == core::kPlaceholderSmtpHost);
static_assert(kDefaultJobFile[73] == "MSG_EMAIL_FROM_SMTP=ferrolo@example.com" &&
              kDefaultJobFile[73].substr(20) == core::kPlaceholderSender);

std::string agent_line(std::string_view routine_and_detail, std::string_view file_name,
                       std::string_view tail) {
    return "F_Main\\" + std::string(routine_and_detail) + std::string(file_name) + std::string(tail);
}

// A Boolean of the job file: true exactly for "SI", blanks around it and letter case aside.
bool si_no(std::string_view value) {
    return platform::upper_ascii(core::trim(value)) == "SI";
}

std::string numbered_key(std::string_view stem, int number, std::string_view suffix = {}) {
    return std::string(stem) + std::to_string(number) + std::string(suffix);
}

// The keys of the job file in their reading order, each with its default and reading rule.
class KeyReader {
public:
    explicit KeyReader(const platform::ProfileFile& file) : file_(file) {}

    void read_into(core::JobSettings& job) const {
        for (auto [number, field] : {std::pair{1, &job.PARAM_1}, std::pair{2, &job.PARAM_2},
                                     std::pair{3, &job.PARAM_3}, std::pair{4, &job.PARAM_4}}) {
            // The command line has the last word: the file only fills what it left empty.
            const std::string value = trimmed(kCommandLineSection, numbered_key("PARAM_", number));
            if (!value.empty() && field->empty()) {
                *field = value;
            }
        }
        for (int number = 1; number <= 5; ++number) {
            job.INCLUDE[index(number)] = trimmed(kCommandLineSection, numbered_key("INCLUDE_", number));
        }

        job.HOST_SMTP = trimmed(kSmtpSection, "HOST_SMTP", core::kPlaceholderSmtpHost);
        job.PORT_SMTP = trimmed(kSmtpSection, "PORT_SMTP", kDefaultPort);
        job.PROT_SSL = boolean(kSmtpSection, "PROT_SSL", "NO");
        job.SEND_ATTACHMENT = boolean(kSmtpSection, "SEND_ATTACHMENT", "SI");
        // The credentials may begin or end with blanks on purpose.
        job.USERID_SMTP = raw(kSmtpSection, "USERID_SMTP");
        job.PASSWORD_SMTP = raw(kSmtpSection, "PASSWORD_SMTP");
        job.MSG_FROM_SMTP = trimmed(kSmtpSection, "MSG_FROM_SMTP");
        job.MSG_EMAIL_FROM_SMTP = trimmed(kSmtpSection, "MSG_EMAIL_FROM_SMTP", core::kPlaceholderSender);
        job.MSG_SUBJECT_SMTP = trimmed(kSmtpSection, "MSG_SUBJECT_SMTP", kDefaultSubject);
        for (int number = 1; number <= 5; ++number) {
            job.EMAIL_TO_SMTP[index(number)] =
                trimmed(kSmtpSection, numbered_key("EMAIL_TO_", number, "_SMTP"));
        }
        job.EMAIL_DEBUG = trimmed(kSmtpSection, "EMAIL_DEBUG");
        job.EMAIL_DEBUG_TO_DATE = trimmed(kSmtpSection, "EMAIL_DEBUG_TO_DATE");
        job.SSL_VERIFICA_CERTIFICATO = boolean(kSmtpSection, "SSL_VERIFICA_CERTIFICATO", "SI");

        job.SHUTDOWN = boolean(kShutdownSection, "SHUTDOWN", "NO");

        job.TEST_ZIP = boolean(kZipSection, "TEST_ZIP", "SI");
        job.SPLITTING = boolean(kZipSection, "SPLITTING", "NO");
        job.SIZE_SPLIT = platform::upper_ascii(trimmed(kZipSection, "SIZE_SPLIT", kDefaultSizeSplit));
        job.CANCELLA_ZIP_PRECEDENTE = boolean(kZipSection, "CANCELLA_ZIP_PRECEDENTE", "SI");
        job.ADVANCED_NAME_ZIP = boolean(kZipSection, "ADVANCED_NAME_ZIP", "NO");
        job.NOMEFILE_AUTOMATICO = boolean(kZipSection, "NOMEFILE_AUTOMATICO", "NO");
        for (int number = 1; number <= 5; ++number) {
            // Kept as written; the run decides emptiness on the trimmed value but uses this one.
            job.COPIA_SU_REMOTO[index(number)] = raw(kZipSection, numbered_key("COPIA_SU_REMOTO", number));
        }

        for (int number = 1; number <= 3; ++number) {
            job.SERVIZIO[index(number)] = trimmed(kServicesSection, numbered_key("SERVIZIO_", number));
        }

        // Unlike the other Booleans, only "SI" in capitals opens the run log at the end of the run.
        job.MOSTRA_RIS_COPIE = trimmed(kMiscellaneousSection, "MOSTRA_RIS_COPIE", "NO") == "SI";
    }

private:
    static size_t index(int number) { return static_cast<size_t>(number - 1); }

    std::string raw(std::string_view section, std::string_view key, std::string_view fallback = {}) const {
        return file_.value(section, key).value_or(std::string(fallback));
    }
    std::string trimmed(std::string_view section, std::string_view key,
                        std::string_view fallback = {}) const {
        return std::string(core::trim(raw(section, key, fallback)));
    }
    bool boolean(std::string_view section, std::string_view key, std::string_view fallback) const {
        return si_no(raw(section, key, fallback));
    }

    const platform::ProfileFile& file_;
};

// The values every read starts from, whatever an earlier read or the command line left.
void reset_before_reading(core::JobSettings& job, core::RunState& state) {
    job.SHUTDOWN = false;
    state.Shutdown_Requested = false;
    job.SPLITTING = false;
    job.SIZE_SPLIT = kDefaultSizeSplit;
    job.HOST_SMTP = core::kPlaceholderSmtpHost;
    job.PORT_SMTP = kDefaultPort;
    job.USERID_SMTP = kDefaultUserId;
    job.PASSWORD_SMTP.clear();
    job.MSG_FROM_SMTP = kDefaultSenderName;
    job.MSG_EMAIL_FROM_SMTP = core::kPlaceholderSender;
    job.MSG_SUBJECT_SMTP = kDefaultSubject;
    for (std::string& address : job.EMAIL_TO_SMTP) {
        address.clear();
    }
    job.PROT_SSL = false;
    job.SEND_ATTACHMENT = true;
    job.EMAIL_DEBUG.clear();
    job.EMAIL_DEBUG_TO_DATE.clear();
    job.SSL_VERIFICA_CERTIFICATO = true;
}

}  // namespace

bool Leggi_File_INI(const std::string& file_name, core::JobSettings& job, core::RunState& state,
                    report::TAgente& agent) {
    agent.WriteMessage(agent_line("Leggi_File_Ini: ", file_name, ""));
    reset_before_reading(job, state);

    if (!platform::file_exists(file_name)) {
        // The new file is not read back: this run keeps the values above and the command line's.
        agent.WriteMessage(
            agent_line("File: ", file_name, " non trovato creazione file con valori di default."));
        Crea_File_INI(file_name);
        agent.WriteMessage(
            agent_line("File: ", file_name, " creazione file con valori di default terminata."));
        return false;
    }

    try {
        const platform::ProfileFile file = platform::ProfileFile::load(file_name);
        KeyReader(file).read_into(job);
    } catch (const std::exception&) {
        // Start-up goes on with whatever was set so far; the warning is the only trace of the failure.
        agent.WriteWarning(agent_line("File: ", file_name, " non letto correttamente."));
        return false;
    }
    agent.WriteMessage(agent_line("File: ", file_name, " letto correttamente."));
    return true;
}

void Crea_File_INI(const std::string& file_name) {
    // Failures stay silent by design: the run goes on with the built-in values, and the next start-up
    // tries again.
    platform::remove_file(file_name);
    try {
        std::string content;
        for (const std::string_view line : kDefaultJobFile) {
            content.append(line).append("\r\n");
        }
        platform::File file = platform::File::open(file_name, platform::File::Mode::Create);
        try {
            file.write(platform::to_system_code_page(content));
            file.close();
        } catch (const std::exception&) {
            // A half-written job file would be read as the job next time; without one, it is written anew.
            file = platform::File();
            platform::remove_file(file_name);
        }
    } catch (const std::exception&) {
    }
}

}  // namespace ferrolo::app
