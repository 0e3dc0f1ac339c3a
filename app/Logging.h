// The launcher's one log, "update.log" in the current directory: spdlog's
// asynchronous default logger "main". Error lines and explicit flushes are on
// disk when the logging call returns; other lines within three seconds.
#pragma once

#include <filesystem>
#include <memory>
#include <spdlog/sinks/sink.h>
#include <spdlog/spdlog.h>

// Called once by start-up, before anything logs. When the file cannot be
// created (a read-only folder) the launcher carries on without a log.
void InitLogging();

// The logger as start-up installs it, over `file`; exposed so tests can make
// one over a file of their own.
std::shared_ptr<spdlog::logger> MakeMainLogger(const std::filesystem::path& file);
// The same over any sink.
std::shared_ptr<spdlog::logger> MakeMainLogger(std::shared_ptr<spdlog::sinks::sink> sink);

// The line layout: local "%Y%m%d-%H:%M:%S message" ended by CR LF.
void ApplyLogLineFormat();
