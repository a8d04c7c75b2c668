// A streaming reader of multipart/form-data bodies. Bytes go in as the network delivers them,
// in pieces of any size; each part's name and its contents come out as soon as they are known,
// so an upload never has to sit whole in memory. The reader does no I/O of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Receives what the reader finds. partData may be called many times for one part.
class MultipartHandler {
  public:
    virtual ~MultipartHandler() = default;
    virtual void beginPart(const std::string& fieldName) = 0;
    virtual void partData(const char* data, std::size_t size) = 0;
};

// The boundary of a "multipart/form-data; boundary=..." content type, unquoted; "" when the type
// is something else or carries no usable boundary.
std::string multipartBoundary(std::string_view contentType);

// The `name` parameter of a part's Content-Disposition header; "" when there is none.
std::string dispositionName(std::string_view disposition);

class MultipartReader {
  public:
    explicit MultipartReader(std::string boundary);

    // Takes the next piece of the body. Returns false once the body is malformed; everything
    // after that is ignored.
    bool feed(const char* data, std::size_t size, MultipartHandler& handler);

    // The closing delimiter has been read: the body was complete and well formed.
    bool complete() const { return state_ == State::Done; }

  private:
    enum class State { Preamble, AfterDelimiter, Headers, Data, Done, Malformed };

    bool step(MultipartHandler& handler);
    bool readHeaders(MultipartHandler& handler);
    void emitData(std::size_t size, MultipartHandler& handler);

    std::string delimiter_;  // CRLF "--" boundary
    std::string pending_;    // bytes not yet consumed
    State state_ = State::Preamble;
};
