#!/bin/sh
echo "Hello from the demo tools folder"
