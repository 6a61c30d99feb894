#!/bin/sh
# Alert program that mails the event (Debian's mailutils). Use it as
#   corvane --headless ... --on-event /opt/corvane/alert-mail.sh [address]
# The event comes in CORVANE_EVENT, CORVANE_CONNECTION, CORVANE_CONNECTION_ID,
# CORVANE_RECEIVER, CORVANE_MESSAGE (passwords hidden) and CORVANE_TIME.
to="${1:-root}"
printf '%s\nСоединение: %s (Id %s)\nПриемник: %s\nВремя: %s\n\n%s\n' \
    "$CORVANE_EVENT" "$CORVANE_CONNECTION" "$CORVANE_CONNECTION_ID" "$CORVANE_RECEIVER" \
    "$CORVANE_TIME" "$CORVANE_MESSAGE" |
    mail -s "corvane $(hostname): $CORVANE_EVENT $CORVANE_CONNECTION" "$to"
