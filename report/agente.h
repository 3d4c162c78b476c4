// report/agente.h — the log agent: one application log kept next to the program across runs.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace ferrolo::report {

// The log file itself failed: its message has been shown through Alert, and the agent writes no more.
// Whoever catches it winds up what must not be left behind and ends the program with status 3.
class AgentFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Configure the published fields, then StartUp once, write messages and warnings, ShutDown once.
// A failure of the log file itself raises AgentFailure.
class TAgente {
public:
    explicit TAgente(std::string name = "Agente") : Name(std::move(name)) {}

    std::string Name;                  // the component's name; the log's base name when FileName is empty
    std::string Path_Agente;           // folder of the log, with its trailing "/"; empty: the program's
    std::string ApplicationName;       // written in the "Who: " and "ShutDown Agente of " lines
    std::string FileName;              // base name of the log, without extension
    bool ActiveLog = true;             // false keeps the agent from opening or writing anything
    std::string VersionOfApplication;  // opens every time-stamped line

    // Shows a failure message to the user before the process ends; may be empty.
    std::function<void(std::string_view message)> Alert;

    void StartUp();
    void WriteMessage(std::string_view text);
    void WriteWarning(std::string_view text);
    void ShutDown();

    const std::string& LogFileName() const { return LogFileName_; }
    int32_t MessageCount() const { return MessageCount_; }
    int32_t WarningCount() const { return WarningCount_; }

private:
    void NewLogFile();
    bool may_write() const;
    std::string prefix() const;
    void write_lines(std::string_view text);
    [[noreturn]] void fail(const std::string& message);

    std::string LogFileName_;
    int32_t MessageCount_ = 0;
    int32_t WarningCount_ = 0;
    bool started_ = false;  // StartUp succeeded and ShutDown has not run
    platform::File log_;    // open for appending from StartUp to ShutDown
};

}  // namespace ferrolo::report
