// One queued message and the locked queue of them; the transport's send queue and the
// session's receive queue are both made of these.
#pragma once

#include <cstdint>

#include "base/mutex.h"

struct MessageNode {
    MessageNode* next = nullptr;
    unsigned char* data = nullptr;  // malloc'd; owned by the node
    std::uint32_t size = 0;
    std::uint32_t connectionId = 0;
    std::uint32_t hostOwned = 0;  // 1 when the data belongs to a hosting simulator
};

// Makes a node that owns `data` (taken, not copied); null when memory ran out, in which
// case `data` has been freed so that ownership is settled either way.
MessageNode* NewMessageNode(unsigned char* data, std::uint32_t size, std::uint32_t connectionId);

// Frees the node's data (unless a host owns it) and the node.
void FreeMessageNode(MessageNode* node);

// Frees a whole chain of nodes linked by `next`.
void FreeMessageChain(MessageNode* head);

class MessageQueue {
public:
    MessageQueue() = default;
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    void Append(MessageNode* node);
    // Unlinks and returns the first node, or null when the queue is empty.
    MessageNode* TakeFirst();
    // Unlinks every node at once and returns the chain in arrival order.
    MessageNode* TakeAll();
    // Frees every queued node.
    void Clear();

    std::uint32_t Count() const;
    std::uint32_t Bytes() const;

private:
    mutable Mutex lock_;
    MessageNode* head_ GUARDED_BY(lock_) = nullptr;
    MessageNode* tail_ GUARDED_BY(lock_) = nullptr;
    std::uint32_t count_ GUARDED_BY(lock_) = 0;
    std::uint32_t bytes_ GUARDED_BY(lock_) = 0;
};
