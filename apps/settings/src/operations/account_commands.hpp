#pragma once
// The account command cell: form commands for the External Accounts page (open the add or edit form, submit or
// cancel it, the same for the credential form), and the page's answers to them.
//
// The application object sends a command and gets its serial; the page takes the commands in order, one per sync,
// acts on each and answers its serial with the outcome (a success text, possibly empty, or the failure sentence).
// An answer is given only once the page has acted: a submit is answered when its check and save have ended. The
// application reports the operation when the answer arrives.
//
//   application                               page (the cell is shared: copies of the handle share it)
//   serial = cell.send(Command{SubmitForm})   auto reader = cell.attach();          // while the page lives
//   ... poll: cell.take_answer(serial)        if (auto request = cell.take()) act(request->command) ...
//                                             cell.answer(request->serial, outcome);
//
// has_reader() tells the application whether a page is there to act at all (attach() holds it while the page
// lives); a command whose page went without answering is failed by the application. cancel() withdraws a command
// the page has not taken yet, or asks the page to stop acting on one it took (cancel_requested()).
//
// Sending wakes the UI loop (through a state cell), so that the page's sync runs. Any thread.

#include "accounts/records.hpp"

#include "vorn_ui/state.hpp"

#include <cstdint>
#include <deque>
#include <expected>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <variant>

namespace settings::operations {

// A command for the External Accounts page.
struct AccountPaneCommand {
    struct Add {
        accounts::AccountKind kind = accounts::AccountKind::Mail;
        friend bool operator==(const Add&, const Add&) = default;
    };
    struct Edit {
        std::string id;
        friend bool operator==(const Edit&, const Edit&) = default;
    };
    struct Reauthenticate {
        std::string id;
        friend bool operator==(const Reauthenticate&, const Reauthenticate&) = default;
    };
    struct SubmitForm {
        friend bool operator==(const SubmitForm&, const SubmitForm&) = default;
    };
    struct CancelForm {
        friend bool operator==(const CancelForm&, const CancelForm&) = default;
    };
    struct SubmitReauthentication {
        friend bool operator==(const SubmitReauthentication&, const SubmitReauthentication&) = default;
    };
    struct CancelReauthentication {
        friend bool operator==(const CancelReauthentication&, const CancelReauthentication&) = default;
    };
    // The alternative's index is the command's one-byte code (0 add … 6 cancel the re-authentication).
    std::variant<Add, Edit, Reauthenticate, SubmitForm, CancelForm, SubmitReauthentication, CancelReauthentication>
        command;

    friend bool operator==(const AccountPaneCommand&, const AccountPaneCommand&) = default;
};

struct AccountCommandRequest {
    std::uint64_t serial = 0;
    AccountPaneCommand command;
    friend bool operator==(const AccountCommandRequest&, const AccountCommandRequest&) = default;
};

using AccountCommandOutcome = std::expected<std::string, std::string>;

class AccountCommandCell {
public:
    // At most this many commands wait for the page; send() refuses more.
    static constexpr std::size_t max_waiting = 16;

    AccountCommandCell();

    // ---- the application's side
    // Queues the command and wakes the loop; its serial (never 0), or none when too many commands wait.
    [[nodiscard]] std::optional<std::uint64_t> send(AccountPaneCommand command) const;
    // The page's answer to the serial, once (none before).
    [[nodiscard]] std::optional<AccountCommandOutcome> take_answer(std::uint64_t serial) const;
    // Whether a page that acts on commands is there.
    [[nodiscard]] bool has_reader() const;
    // Withdraws the command when the page has not taken it yet (true), else asks the page to stop acting on it.
    bool cancel(std::uint64_t serial) const;
    // Forgets the serial: its answer, a cancellation, a command still waiting (for a report nobody waits for).
    void forget(std::uint64_t serial) const;

    // ---- the page's side
    // Marks a reader present while the returned handle lives.
    [[nodiscard]] std::shared_ptr<const void> attach() const;
    // The oldest waiting command, taken out of the queue.
    [[nodiscard]] std::optional<AccountCommandRequest> take() const;
    // Whether commands are waiting.
    [[nodiscard]] bool pending() const;
    // The outcome of a taken command (ignored for a serial nobody waits for).
    void answer(std::uint64_t serial, AccountCommandOutcome outcome) const;
    // Whether the application asked to stop acting on a taken command.
    [[nodiscard]] bool cancel_requested(std::uint64_t serial) const;

    // The commands waiting, oldest first (for tests and diagnostics).
    [[nodiscard]] std::deque<AccountCommandRequest> waiting() const;

private:
    struct Shared {
        std::mutex mutex;
        std::uint64_t next_serial = 1;
        std::deque<AccountCommandRequest> queue;
        std::set<std::uint64_t> taken;      // acted on by the page, answer outstanding
        std::set<std::uint64_t> cancelled;  // taken, and asked to stop
        std::map<std::uint64_t, AccountCommandOutcome> answers;
        int readers = 0;                    // pages attached
    };
    std::shared_ptr<Shared> shared_;
    vorn_ui::LocalState<std::uint64_t> wake_;  // published on every send: the loop runs a sync
};

}  // namespace settings::operations
