#include <cstring>
#include <string>

#include "Common/QXWebClientBase.h"
#include "Common/json_msg_param.h"

namespace {

// Sets `name` as the request's last member, replacing one of that name.
void SetLastMember(json_object* request, const char* name, json_object* value) {
  json_object_object_del(request, name);
  json_object_object_add(request, name, value);
}

// The request's text with `files` as its last member "files_ul", replacing
// one of that name, as json-c writes it. The list goes straight into the
// text: as a json-c tree a long one would take many times its size.
std::string RequestWithFiles(json_object* request, const CFileList& files) {
  json_object_object_del(request, "files_ul");
  std::string text = json_object_to_json_string(request);
  text.resize(text.size() - strlen(" }"));
  text += json_object_object_length(request) == 0 ? " \"files_ul\": " : ", \"files_ul\": ";
  AppendFileListEntriesJSON(files.cbegin(), files.cend(), text);
  text += " }";
  return text;
}

}  // namespace

bool CQXWebClientBase::StartUpload(json_object* request) {
  if (mLogger != nullptr)
    mLogger->DebugMsg("StartUpload");
  if (mUploadList.empty()) {
    if (mLogger != nullptr)
      mLogger->Error("Failed to convert list of files to JSON");
    return false;
  }

  bool result = false;
  try {
    xwstring text(RequestWithFiles(request, mUploadList).c_str());
    result = ProxyExecuteRequest(text);
  } catch (...) {
    result = false;
  }
  if (!result && mLogger != nullptr)
    mLogger->Error("Failed to pass request to file transfer proxy");
  return result;
}

bool CQXWebClientBase::StartDownload(json_object* request) {
  if (mLogger != nullptr)
    mLogger->DebugMsg("StartDownload");
  const char* location = static_cast<const xwstring&>(mDownloadLocation);
  if (location == nullptr || *location == '\0') {
    if (mLogger != nullptr)
      mLogger->Error("Download location not specified");
    return false;
  }

  bool result = false;
  try {
    SetLastMember(request, "dest_path", json_object_new_string(location));
    xwstring text(json_object_to_json_string(request));
    result = ProxyExecuteRequest(text);
  } catch (...) {
    result = false;
  }
  if (result) {
    // Every download asks for its folder anew.
    mDownloadLocation.Clear();
  } else if (mLogger != nullptr) {
    mLogger->Error("Failed to pass request to file transfer proxy");
  }
  return result;
}

bool CQXWebClientBase::SetParameter(json_object* request) {
  if (mLogger != nullptr)
    mLogger->DebugMsg("SetParameter");
  const json_msg_param<char*> name(request, "name");
  if (name == "FileTransferLimit") {
    const int limit = json_msg_param<int>(request, "value");
    if (limit < 1) {
      if (mLogger != nullptr)
        mLogger->Warning("Invalid upload limit specified: %d", limit);
      return false;
    }
    mFileTransferLimit = limit;
    return true;
  }
  if (mLogger != nullptr)
    mLogger->Error("Invalid plug-in parameter: %s", static_cast<char*>(name));
  return false;
}
