-- The queue of service requests sent later in one batch: usage records,
-- favourite additions, undeliverable feedback and the update census. TRACK
-- holds one complete request object as styled JSON text; rows go out in ID
-- order and are deleted by ID once the service answered them.
CREATE TABLE IF NOT EXISTS BEHAVIOR (
  ID INTEGER PRIMARY KEY,
  TRACK TEXT
);
