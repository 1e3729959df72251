#pragma once

#include "store/localconnection.h"

namespace zelvano {

// One local transaction: begun by the constructor, rolled back when the scope
// ends without commit() (an error on the way, or the process told to stop).
class Transaction
{
public:
    explicit Transaction(LocalConnection &db) : m_db(db)
    {
        m_db.beginTrans();
        m_active = true;
    }
    ~Transaction()
    {
        if (!m_active)
            return;
        try {
            if (m_db.isOpen() && m_db.inTransaction())
                m_db.rollbackTrans();
        } catch (...) {
            // The connection is going away anyway; the engine drops the work.
        }
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit()
    {
        m_db.commitTrans();
        m_active = false;
    }
    // Commits what was done so far and goes on in a new transaction: work
    // that must survive a later failure of the same job.
    void commitAndContinue()
    {
        m_db.commitTrans();
        m_active = false;
        m_db.beginTrans();
        m_active = true;
    }
    bool active() const { return m_active; }

private:
    LocalConnection &m_db;
    bool m_active = false;
};

} // namespace zelvano
