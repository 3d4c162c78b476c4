// core/job_settings.h — the job: every value a run uses, from the command line and the job file.
#pragma once

#include <array>
#include <string>

namespace ferrolo::core {

// Placeholders written into a new job file and used until a job file says otherwise.
inline constexpr std::string_view kPlaceholderSmtpHost = "mail.example.com";
inline constexpr std::string_view kPlaceholderSender = "ferrolo@example.com";

// Field names are the job file's keys. Strings hold the job file's bytes unchanged.
struct JobSettings {
    // [PARAMETRI_LINEA_COMANDO]
    std::string PARAM_1;                 // source mask
    std::string PARAM_2;                 // archive file
    std::string PARAM_3;                 // run log file
    std::string PARAM_4;                 // extended log file
    std::array<std::string, 5> INCLUDE;  // INCLUDE_1 .. INCLUDE_5

    // [PARAMETRI_FILEZIP]
    bool TEST_ZIP = false;
    std::array<std::string, 5> COPIA_SU_REMOTO;  // COPIA_SU_REMOTO1 .. COPIA_SU_REMOTO5, untrimmed
    bool SPLITTING = false;
    bool ADVANCED_NAME_ZIP = false;
    std::string SIZE_SPLIT = "vs1_44MB";
    bool CANCELLA_ZIP_PRECEDENTE = false;
    bool NOMEFILE_AUTOMATICO = false;

    // [PARAMETRI_SMTP]
    std::string HOST_SMTP = std::string(kPlaceholderSmtpHost);
    std::string PORT_SMTP = "25";
    bool PROT_SSL = false;
    bool SEND_ATTACHMENT = true;
    std::string USERID_SMTP = "Ferrolo";
    std::string PASSWORD_SMTP;
    std::string MSG_FROM_SMTP = "Ferrolo";
    std::string MSG_EMAIL_FROM_SMTP = std::string(kPlaceholderSender);
    std::string MSG_SUBJECT_SMTP = "Report copie interne";
    std::array<std::string, 5> EMAIL_TO_SMTP;  // EMAIL_TO_1_SMTP .. EMAIL_TO_5_SMTP
    std::string EMAIL_DEBUG;
    std::string EMAIL_DEBUG_TO_DATE;
    // Not in the default file: NO accepts any certificate of a private server under PROT_SSL.
    bool SSL_VERIFICA_CERTIFICATO = true;

    // [PARAMETRI_SHUTDOWN]
    bool SHUTDOWN = false;

    // [SERVIZI]
    std::array<std::string, 3> SERVIZIO;  // SERVIZIO_1 .. SERVIZIO_3

    // [VARIE]
    bool MOSTRA_RIS_COPIE = false;
};

}  // namespace ferrolo::core
