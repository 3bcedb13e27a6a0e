// The device a rack speaks on: a pseudo-terminal the emulator creates (the service opens
// its slave side, or Wine links a COM port to it), or an existing device given by path.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rack-emulator/frame_fields.h"
#include "rack-emulator/rack_line.h"

namespace rackemu {

class RackDevice final : public RackLine {
public:
    // Creates a pseudo-terminal whose slave is already raw, so that nothing sent before
    // the service opens it is echoed back. With a link path, a symbolic link to the slave
    // is made there (replacing an old link) and removed again with the device.
    // Throws std::runtime_error.
    static std::unique_ptr<RackDevice> createPseudoTerminal(const std::string& linkPath);
    // Opens an existing device in raw mode. Throws std::runtime_error.
    static std::unique_ptr<RackDevice> attach(const std::string& path);
    ~RackDevice() override;
    RackDevice(const RackDevice&) = delete;
    RackDevice& operator=(const RackDevice&) = delete;

    // The path the service opens: the slave device, or the attached device.
    const std::string& devicePath() const { return devicePath_; }
    const std::string& linkPath() const { return linkPath_; }
    // A descriptor that becomes readable when bytes arrive.
    int handle() const { return io_; }
    // A descriptor that becomes readable when another program opens or closes the
    // pseudo-terminal; -1 for an attached device.
    int watchHandle() const { return watch_; }

    struct PeerChange {
        bool opened;  // false: closed
        int openers;  // how many descriptions other programs now hold
    };
    // The opens and closes since the last call. After the last close, the exclusive-use
    // mark (TIOCEXCL) that the service set is cleared: it would outlive the service's own
    // descriptor, because the emulator keeps the slave open, and refuse the service's
    // next open unless it runs as root.
    std::vector<PeerChange> peerChanges();

    // What has arrived, possibly nothing; nullopt when the line is gone for good.
    std::optional<Bytes> readAvailable();
    bool writeAll(std::span<const std::uint8_t> bytes) override;
    std::size_t unreadBytes() override;

private:
    RackDevice() = default;

    int io_ = -1;         // the pseudo-terminal's master, or the attached device
    int heldSlave_ = -1;  // the slave kept open, so that the master never reads EIO
    int watch_ = -1;      // inotify on the slave
    int openers_ = 0;
    std::string devicePath_;
    std::string linkPath_;
};

}  // namespace rackemu
