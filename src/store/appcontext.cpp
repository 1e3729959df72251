#include "store/appcontext.h"

#include "common/datetexts.h"
#include "common/error.h"

namespace zelvano {

LocalConnection &AppContext::db()
{
    if (!connection || !connection->isOpen())
        raise(ErrNo::ConnectionClosed);
    return *connection;
}

QString AppContext::timeText() const
{
    return DateTexts::time(clock.timeOfDay());
}

} // namespace zelvano
