#pragma once
// What the Bluetooth page calls, and where those calls run.
//
// The page reaches the Bluetooth stack only through a BluetoothBackend (the thirteen operations of
// system_ops::bluez), shared between the page and its workers. Every call may wait on bluetoothd or on a device
// (pairing waits for the user up to a minute and a half), so none runs on the UI thread: the page hands each one to
// its workers and takes the answer in a later sync.

#include "page_workers/page_workers.hpp"
#include "system_ops/bluez.hpp"

#include <functional>
#include <memory>
#include <string_view>

namespace settings::panes::bluetooth {

using system_ops::bluez::BluetoothDevice;
using system_ops::bluez::PairOutcome;
using system_ops::bluez::PairResultKind;

// The page's backend: the thirteen operations, safe to call from any thread.
using BluetoothBackend = system_ops::bluez::BluezService;

// Forwards each operation unchanged to the same-named function of system_ops::bluez, that is to the process's
// current Bluetooth service (see system_ops/current.hpp). Holds no state.
class BluezBackend final : public BluetoothBackend {
public:
    system_ops::Result<std::vector<BluetoothDevice>> devices() override;
    system_ops::Result<bool> is_powered() override;
    system_ops::Result<bool> is_scanning() override;
    system_ops::Status set_powered(bool powered) override;
    system_ops::Status start_scan() override;
    system_ops::Status stop_scan() override;
    PairOutcome pair(std::string_view device) override;
    system_ops::Status cancel_pairing(std::string_view device) override;
    system_ops::Status connect(std::string_view device) override;
    system_ops::Status disconnect(std::string_view device) override;
    system_ops::Status set_trusted(std::string_view device, bool trusted) override;
    system_ops::Status set_alias(std::string_view device, std::string_view alias) override;
    system_ops::Status forget(std::string_view device) override;
};

// Runs a piece of work somewhere else than the calling thread (or, in tests, when the test says so).
using Executor = page_workers::Executor;

struct BluetoothWorkers {
    // Reads and changes, run one after another in the order they were handed over.
    Executor actions;
    // A pairing, which may wait for the user; it must not hold up the actions (cancelling it is one).
    Executor pairing;

    // One worker thread for the actions, started when work arrives and ended when none is left, and a thread of
    // its own for each pairing. Neither is ever waited for: work handed over before the page closes still runs,
    // and its answer is dropped.
    [[nodiscard]] static BluetoothWorkers background();
};

}  // namespace settings::panes::bluetooth
