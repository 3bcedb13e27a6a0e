#include "message_queue.h"

#include <cstdlib>
#include <new>

MessageNode* NewMessageNode(unsigned char* data, std::uint32_t size, std::uint32_t connectionId) {
    MessageNode* node = new (std::nothrow) MessageNode;
    if (node == nullptr) {
        std::free(data);
        return nullptr;
    }
    node->data = data;
    node->size = size;
    node->connectionId = connectionId;
    return node;
}

void FreeMessageNode(MessageNode* node) {
    // Host-owned blocks go back to the host through the session, never to free().
    if (node->hostOwned == 0) std::free(node->data);
    delete node;
}

void FreeMessageChain(MessageNode* head) {
    while (head != nullptr) {
        MessageNode* next = head->next;
        FreeMessageNode(head);
        head = next;
    }
}

MessageQueue::~MessageQueue() {
    Clear();
}

void MessageQueue::Append(MessageNode* node) {
    node->next = nullptr;
    MutexLock hold(lock_);
    if (tail_ == nullptr) {
        head_ = node;
    } else {
        tail_->next = node;
    }
    tail_ = node;
    ++count_;
    bytes_ += node->size;
}

MessageNode* MessageQueue::TakeFirst() {
    MutexLock hold(lock_);
    MessageNode* node = head_;
    if (node == nullptr) {
        count_ = 0;
        bytes_ = 0;
        return nullptr;
    }
    head_ = node->next;
    if (head_ == nullptr) tail_ = nullptr;
    --count_;
    bytes_ -= node->size;
    node->next = nullptr;
    return node;
}

MessageNode* MessageQueue::TakeAll() {
    MutexLock hold(lock_);
    MessageNode* chain = head_;
    head_ = nullptr;
    tail_ = nullptr;
    count_ = 0;
    bytes_ = 0;
    return chain;
}

void MessageQueue::Clear() {
    FreeMessageChain(TakeAll());
}

std::uint32_t MessageQueue::Count() const {
    MutexLock hold(lock_);
    return count_;
}

std::uint32_t MessageQueue::Bytes() const {
    MutexLock hold(lock_);
    return bytes_;
}
