#pragma once

// How the cycle reaches its Firebird receiver.
enum class ReceiverKind { Embedded, Server };
