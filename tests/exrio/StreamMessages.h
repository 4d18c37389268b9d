// The message of the Iex::InputExc a call throws, for the stream tests.
#ifndef RAVELCAST_TESTS_EXRIO_STREAMMESSAGES_H
#define RAVELCAST_TESTS_EXRIO_STREAMMESSAGES_H

#include <exception>
#include <string>

#include <Iex.h>
#include <gtest/gtest.h>

// Fails the test when f throws nothing or something else.
template <class F> std::string inputExcMessage(F f)
{
    try {
        f();
    } catch (const Iex::InputExc &e) {
        return e.what();
    } catch (const std::exception &e) {
        ADD_FAILURE() << "unexpected exception: " << e.what();
        return {};
    }
    ADD_FAILURE() << "nothing thrown";
    return {};
}

#endif
