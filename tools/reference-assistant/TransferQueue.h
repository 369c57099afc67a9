// Transfers carried out against a local folder, the outbox: an upload copies
// the listed files into it, a download copies its files into the request's
// folder. Requests queue up and run one step per pass of the main loop, so
// new requests are taken while a transfer runs; taking one does no work, so
// the host's request is acknowledged at once.
#pragma once

#include <json-c/json.h>

#include <deque>
#include <string>
#include <vector>

#include "tools/reference-assistant/StatusSender.h"

class TransferQueue {
 public:
  explicit TransferQueue(std::string outbox) : mOutbox(std::move(outbox)) {}
  ~TransferQueue();

  // Takes one JSON request from the host; it is read on a later pass.
  void Accept(const RequestOrigin& origin, std::string requestText);

 private:
  struct File {
    std::string source;
    std::string destination;
    std::string relativePath;
    // The request's own entry, echoed in "FileSent"; null for downloads.
    json_object* entry = nullptr;
  };
  struct Job {
    RequestOrigin origin;
    // The request's text until it is planned; then empty.
    std::string request;
    bool planned = false;
    std::string kind;
    std::vector<File> files;
    size_t next = 0;
    size_t failed = 0;
    uintmax_t bytesDone = 0;
    uintmax_t bytesTotal = 0;
  };

  // Reads the request and announces the transfer; false when it cannot run.
  bool Plan(Job& job);
  bool PlanUpload(json_object* request, Job& job);
  bool PlanDownload(json_object* request, Job& job);
  // Plans the first job, or copies its next file; false when no job is left.
  bool Step();
  void Fail(const RequestOrigin& origin, const char* kind, const std::string& text);

  std::string mOutbox;
  std::deque<Job> mJobs;
  unsigned mIdleSource = 0;
};
