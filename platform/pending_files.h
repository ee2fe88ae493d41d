// Inside the file-system implementations: the temporary files being written,
// kept where an interrupt handler can reach them. A handler may neither
// allocate nor lock, so the names live in fixed slots, each published by an
// atomic state.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

template <class Char, size_t Length>
class PendingFiles {
  public:
    // Calls `remove` with each name held now (from the handler).
    template <class Remove>
    void remove_all(Remove remove) {
        for (int i = 0; i < slots; ++i)
            if (state_[i].load() == slot_named)
                remove(names_[i]);
    }

    // While it lives, `name` is one of the names held; an empty name, a name
    // too long or one more than there are slots is not (it is then not
    // removed on an interrupt).
    class Entry {
      public:
        Entry(PendingFiles& files, const std::basic_string<Char>& name) : files_(files) {
            if (name.empty() || name.size() >= Length)
                return;
            for (int i = 0; i < slots; ++i) {
                int expected = slot_free;
                if (files.state_[i].compare_exchange_strong(expected, slot_filling)) {
                    name.copy(files.names_[i], name.size());
                    files.names_[i][name.size()] = Char{};
                    files.state_[i].store(slot_named);
                    slot_ = i;
                    return;
                }
            }
        }
        ~Entry() {
            if (slot_ >= 0)
                files_.state_[slot_].store(slot_free);
        }
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

      private:
        PendingFiles& files_;
        int slot_ = -1;
    };

  private:
    static constexpr int slots = 64;
    enum State { slot_free, slot_filling, slot_named };
    Char names_[slots][Length];
    std::atomic<int> state_[slots];
};
