#pragma once

#include <string>

namespace tamblor {

// The kernel side of the dock: its connection to the host and the node its reports pass
// through. The dock's loop drives it; tests replace it with a socketpair.
class IGadgetLink {
  public:
    virtual ~IGadgetLink() = default;
    // Connects the device to the host (the host enumerates it) and opens its report node,
    // non-blocking: one read() is one output report of the host, one write() one input report.
    // False with a one-line reason.
    virtual bool Connect(std::string& error) = 0;
    // Closes the node and takes the device off the bus: the host sees it leave.
    virtual void Disconnect() = 0;
    // The report node while connected, otherwise -1.
    virtual int ReportDescriptor() const = 0;
    // Where the device is attached, for the operator's lines.
    virtual std::string Describe() const = 0;
};

}  // namespace tamblor
