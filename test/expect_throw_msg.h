// EXPECT_THROW_MSG(statement, type, message): `statement` throws exactly
// `type` (or a subclass) whose what() equals `message`.
#ifndef QUILLMARK_TEST_EXPECT_THROW_MSG_H_
#define QUILLMARK_TEST_EXPECT_THROW_MSG_H_

#include <gtest/gtest.h>

#include <string>

#define EXPECT_THROW_MSG(statement, type, message)                \
  do {                                                            \
    try {                                                         \
      statement;                                                  \
      ADD_FAILURE() << "no exception thrown";                     \
    } catch (const type& e) {                                     \
      EXPECT_EQ(std::string(message), std::string(e.what()));     \
    } catch (...) {                                               \
      ADD_FAILURE() << "an exception of another type was thrown"; \
    }                                                             \
  } while (false)

#endif  // QUILLMARK_TEST_EXPECT_THROW_MSG_H_
