#include "P3dmodell.h"

#include <cstring>

#include "MemStream.h"
#include "NumberFormat.h"

namespace vistrel {

TP3dLOD::TP3dLOD(TLogEvent onLog, TMessageEvent onMessage)
    : OnLog(std::move(onLog)), OnMessage(std::move(onMessage)) {}

void TP3dLOD::Log(const std::string& line) const {
    if (OnLog) OnLog(line);
}

void TP3dLOD::Message(const std::string& text) const {
    if (OnMessage) OnMessage(text);
}

TP3dModell::TP3dModell(std::string fileName, TLogEvent onLog, TMessageEvent onMessage)
    : FileName(std::move(fileName)), OnLog(std::move(onLog)), OnMessage(std::move(onMessage)) {
    Open(FileName);
}

TP3dModell::TP3dModell(std::string fileName, std::vector<uint8_t> bytes, TLogEvent onLog,
                       TMessageEvent onMessage)
    : FileName(std::move(fileName)), OnLog(std::move(onLog)), OnMessage(std::move(onMessage)) {
    OpenBytes(std::move(bytes));
}

TP3dModell::~TP3dModell() { Clear(); }

void TP3dModell::Log(const std::string& line) const {
    if (OnLog) OnLog(line);
}

void TP3dModell::Message(const std::string& text) const {
    if (OnMessage) OnMessage(text);
}

void TP3dModell::Clear() {
    GeometryLOD = nullptr;
    LODs.Clear();
    Masses.clear();
    Masses.shrink_to_fit();
    complete_ = false;
    format_ = Format::None;
}

bool TP3dModell::Open(const std::string& fileName) {
    if (fileName.empty()) {
        complete_ = false;
        return false;
    }
    Clear();
    Log("******OPEN:" + fileName);
    TMemStream stream = TMemStream::LoadFromFile(fileName);
    return OpenStream(stream);
}

bool TP3dModell::OpenBytes(std::vector<uint8_t> bytes) {
    Clear();
    Log("******OPEN:" + FileName);
    TMemStream stream(std::move(bytes));
    return OpenStream(stream);
}

bool TP3dModell::OpenStream(TMemStream& stream) {
    char magic[4];
    stream.ReadBytes(magic, 4);
    bool result = false;
    if (std::memcmp(magic, "MLOD", 4) == 0) {
        format_ = Format::Editable;
        result = ReadEditable(stream);
    } else if (std::memcmp(magic, "BMDL", 4) == 0) {
        format_ = Format::Binarized;
        result = ReadBinarized(stream);
    } else {
        format_ = Format::Unknown;
        Message("Incorrect Format!");
        result = false;
    }
    complete_ = result;
    return result;
}

}  // namespace vistrel
