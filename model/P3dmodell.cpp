#include "P3dmodell.h"

#include <cstring>
#include <new>

#include "MemStream.h"
#include "ModelReader.h"
#include "NumberFormat.h"

namespace vistrel {

TP3dLOD::TP3dLOD(TLogEvent onLog, TMessageEvent onMessage) : OnLog(std::move(onLog)), OnMessage(std::move(onMessage)) {}

TReadResult TModelReader::Guarded(const TP3dLOD& lod, const TMemStream& stream,
                                  const std::function<TReadResult()>& body) {
    TReadResult result;
    try {
        return body();
    } catch (const EReadError& e) {
        result = {TReadStatus::ShortRead, e.Offset,
                  e.Cause.empty() ? std::string("the file ends inside the LOD") : e.Cause};
    } catch (const EBadData& e) {
        result = {TReadStatus::BadData, stream.Position(), e.what()};
    } catch (const EListError& e) {
        result = {TReadStatus::BadIndex, stream.Position(), e.what()};
    } catch (const std::bad_alloc&) {
        result = {TReadStatus::NoMemory, stream.Position(), "out of memory"};
    } catch (const std::exception& e) {
        result = {TReadStatus::BadValue, stream.Position(), e.what()};
    }
    // a short read, an index outside a list, a count that cannot be, or an
    // allocation that failed: the LOD keeps what it read
    lod.Message("Complete loading of P3d failed!\nSorry ;)");
    return result;
}

TReadResult TModelReader::Refuse(const TP3dLOD& lod, const TMemStream& stream, const std::string& message,
                                 TReadStatus status, std::string cause) {
    lod.Message(message);
    return {status, stream.Position(), std::move(cause)};
}

void TP3dLOD::Log(const std::string& line) const {
    if (OnLog) OnLog(line);
}

void TP3dLOD::Message(const std::string& text) const {
    if (OnMessage) OnMessage(text);
}

TP3dModell::TP3dModell(TLogEvent onLog, TMessageEvent onMessage)
    : OnLog(std::move(onLog)), OnMessage(std::move(onMessage)) {}

TP3dModell::TP3dModell(std::string fileName, TLogEvent onLog, TMessageEvent onMessage)
    : FileName(std::move(fileName)), OnLog(std::move(onLog)), OnMessage(std::move(onMessage)) {
    Open(FileName);
}

TP3dModell::TP3dModell(std::string fileName, std::vector<uint8_t> bytes, TLogEvent onLog, TMessageEvent onMessage)
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
    failure_ = {};
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
    return TModelReader::Open(*this, stream);
}

bool TP3dModell::OpenBytes(std::vector<uint8_t> bytes) {
    Clear();
    Log("******OPEN:" + FileName);
    TMemStream stream(std::move(bytes));
    return TModelReader::Open(*this, stream);
}

bool TModelReader::Open(TP3dModell& model, TMemStream& stream) {
    std::array<char, 4> magic;
    stream.ReadBytes(magic.data(), 4);
    bool result = false;
    const TModelMagic kind = ModelMagicOf(magic);
    if (kind == TModelMagic::Editable) {
        model.format_ = TP3dModell::Format::Editable;
        result = ReadEditable(model, stream);
    } else if (kind == TModelMagic::Binarized) {
        model.format_ = TP3dModell::Format::Binarized;
        result = ReadBinarized(model, stream);
    } else {
        model.format_ = TP3dModell::Format::Unknown;
        model.Message("Incorrect Format!");
        model.failure_ = {TReadStatus::BadValue, 0, "the magic is neither BMDL nor MLOD"};
        result = false;
    }
    model.complete_ = result;
    return result;
}

}  // namespace vistrel
